// What the desktop tests share: prompts answered from a script, and a hook on the next modal dialog.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "tests/support/scriptedprompts.h"

// Runs `act` on the modal dialog that the next call opens.
inline void OnNextModal(std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, [act] {
        QWidget* w = QApplication::activeModalWidget();
        if (w == nullptr) {
            ADD_FAILURE() << "no modal dialog";
            return;
        }
        act(w);
    });
}
