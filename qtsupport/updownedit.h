// An edit with its up-down: a whole number within a range. A number typed beyond the range is taken as
// the nearest bound (typing 300 where 249 is the most gives 249) instead of being refused or wrapped;
// the arrows wrap around when the edit is made wrapping.
#pragma once

#include <QSpinBox>
#include <algorithm>

class TUpDownEdit : public QSpinBox {
   public:
    // As a form builds it: range, wrapping and value are set afterwards.
    explicit TUpDownEdit(QWidget* parent = nullptr) : QSpinBox(parent) {}
    TUpDownEdit(QWidget* parent, int min, int max, int value, bool wrapping) : QSpinBox(parent) {
        setRange(min, max);
        setWrapping(wrapping);
        SetNumber(value);
    }
    // Shows a number, brought into the range first (setValue would wrap it).
    void SetNumber(int v) { setValue(std::clamp(v, minimum(), maximum())); }

   protected:
    QValidator::State validate(QString& text, int& pos) const override {
        bool ok = false;
        const qlonglong v = text.trimmed().toLongLong(&ok);
        if (ok && (v > maximum() || v < minimum())) return QValidator::Acceptable;
        return QSpinBox::validate(text, pos);
    }
    int valueFromText(const QString& text) const override {
        bool ok = false;
        const qlonglong v = text.trimmed().toLongLong(&ok);
        if (!ok) return QSpinBox::valueFromText(text);
        return static_cast<int>(std::clamp<qlonglong>(v, minimum(), maximum()));
    }
};
