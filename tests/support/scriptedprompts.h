// The desktop tests' doubles: prompts answered from a script, and a help opener that records.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "qtsupport/helpopener.h"
#include "qtsupport/prompts.h"

// Answers every prompt from a script and records what was shown; an unexpected question fails.
class TScriptedPrompts : public TPrompts {
   public:
    std::vector<QString> Messages;
    std::vector<QString> Questions;
    std::vector<QString> FolderStarts;
    std::vector<QStringList> ItemLists;  // the lists each chooser offered
    std::deque<TAnswer> Answers;
    std::deque<std::optional<QString>> Folders;
    std::deque<std::optional<QString>> Items;        // chooser answers; none left = Cancel
    std::deque<std::optional<QString>> OpenFiles;    // files to open; none left = Cancel
    std::deque<std::optional<QString>> SaveFiles;    // files to save; none left = Cancel
    std::deque<std::optional<QString>> Texts;        // typed texts; none left = an unexpected question
    std::vector<QString> TextLabels;                 // the label of each text asked
    std::function<void(const QString&)> OnQuestion;  // called as each question is answered

    void Message(const QString& text, const QString&, TIcon) override { Messages.push_back(text); }
    TAnswer Question(const QString& text, const QString&, TButtons, TIcon, TAnswer) override {
        Questions.push_back(text);
        if (Answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text.toStdString();
            return TAnswer::Cancel;
        }
        TAnswer a = Answers.front();
        Answers.pop_front();
        if (OnQuestion) OnQuestion(text);
        return a;
    }
    std::optional<QString> ChooseFolder(const QString&, const QString& start, bool) override {
        FolderStarts.push_back(start);
        return Next(Folders);
    }
    std::optional<QString> ChooseOpenFile(const QString&, const QString&, const QString&) override {
        return Next(OpenFiles);
    }
    std::optional<QString> ChooseSaveFile(const QString&, const QString&, const QString&) override {
        return Next(SaveFiles);
    }
    std::optional<QString> ChooseItem(const QString&, const QStringList& items, bool) override {
        ItemLists.push_back(items);
        return Next(Items);
    }
    std::optional<QString> AskText(const QString&, const QString& label, const QString&) override {
        TextLabels.push_back(label);
        if (Texts.empty()) ADD_FAILURE() << "unexpected question: " << label.toStdString();
        return Next(Texts);
    }

   private:
    static std::optional<QString> Next(std::deque<std::optional<QString>>& q) {
        if (q.empty()) return std::nullopt;
        auto v = q.front();
        q.pop_front();
        return v;
    }
};

// Records the help each window asked for instead of opening it.
class TRecordingHelp : public THelpOpener {
   public:
    std::vector<int> Topics;
    QStringList Keywords;
    void ShowTopic(int mapId, QWidget*) override { Topics.push_back(mapId); }
    void ShowKeyword(const QString& keyword, QWidget*) override { Keywords << keyword; }
};
