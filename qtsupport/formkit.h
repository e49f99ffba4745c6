// Small builders for the forms still laid out in code, so that they label and name their controls as
// the .ui forms do: a label is its input's buddy (Alt+letter reaches the input, a screen reader reads
// the label), and a button that shows a glyph only says its hint to a screen reader.
#pragma once

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QToolButton>

#include "qtsupport/messages.h"

inline QLabel* BuddyLabel(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

inline QToolButton* GlyphButton(const char* name, const QString& hint, QStyle::StandardPixmap glyph,
                                QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setIcon(parent->style()->standardIcon(glyph));
    b->setToolTip(hint);
    b->setAccessibleName(hint);
    b->setFocusPolicy(Qt::StrongFocus);
    return b;
}

// A control a class builds itself rather than its .ui form, named as a form would name it (tests find
// it by that name).
template <class T>
T* Named(T* w, const char* name) {
    w->setObjectName(name);
    return w;
}

// The size a window opens at: the one it asks for, within the free area of the screen (a 1366 x 768
// laptop at a scale of 1.5 leaves about 910 x 480 pixels below the desktop's panels).
inline QSize SizeOnScreen(QSize wanted) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect free = screen->availableGeometry();
        wanted = wanted.boundedTo(QSize(free.width() - 16, free.height() - 40));
    }
    return wanted;
}

// Message 109 for a field that holds no number, followed by the field as its label names it and what
// it holds, so that the user knows which one to mend.
inline QString NumberInvalidText(const QWidget* field, const QString& typed) {
    QString name;
    if (field != nullptr && field->window() != nullptr)
        for (const QLabel* label : field->window()->findChildren<QLabel*>())
            if (label->buddy() == field) name = label->text().remove('&').remove(':').simplified();
    return QString(Msg::NumericInvalid) + "\n" + name + ": \"" + typed + "\"";
}
