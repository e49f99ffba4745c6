// Prompts that ask nothing: every message goes to stderr and every question takes its default. For
// the programs that picture the forms for the documentation.
#pragma once

#include <cstdio>

#include "qtsupport/helpopener.h"
#include "qtsupport/prompts.h"

class TSilentPrompts : public TPrompts {
   public:
    void Message(const QString& text, const QString&, TIcon) override {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    TAnswer Question(const QString&, const QString&, TButtons, TIcon, TAnswer a) override { return a; }
    std::optional<QString> ChooseFolder(const QString&, const QString&, bool) override {
        return std::nullopt;
    }
    std::optional<QString> ChooseOpenFile(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    std::optional<QString> ChooseSaveFile(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    std::optional<QString> ChooseItem(const QString&, const QStringList&, bool) override {
        return std::nullopt;
    }
    std::optional<QString> AskText(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
};

class TNoHelp : public THelpOpener {
   public:
    void ShowTopic(int, QWidget*) override {}
    void ShowKeyword(const QString&, QWidget*) override {}
};
