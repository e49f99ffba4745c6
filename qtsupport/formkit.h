// Small builders the forms share, so that every form labels and names its controls the same way:
// a label is its input's buddy (Alt+letter reaches the input, a screen reader reads the label), and a
// button that shows a glyph only says its hint to a screen reader.
#pragma once

#include <QLabel>
#include <QStyle>
#include <QToolButton>

inline QLabel* BuddyLabel(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

inline QToolButton* GlyphButton(const char* name, const QString& hint, QStyle::StandardPixmap glyph, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setIcon(parent->style()->standardIcon(glyph));
    b->setToolTip(hint);
    b->setAccessibleName(hint);
    b->setFocusPolicy(Qt::StrongFocus);
    return b;
}

// The control, named as the form names it (tests and the form file find it by that name).
template <class T>
T* Named(T* w, const char* name) {
    w->setObjectName(name);
    return w;
}
