// A data folder with two cable sets, an open set and the services a dialog is given.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include "model/cable.h"
#include "qtsupport/dialogservices.h"
#include "storage/sequenceset.h"
#include "tests/app/apptestkit.h"

class DialogTest : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(QDir().mkpath(home.path() + "/Cable"));
        // "L48": nodes 1 to 48 at 5 m. "Gap": nodes 1 to 24, then 31 to 48.
        WriteCable("L48", {MakeSegment("Red", 1, 24, 5), MakeSegment("Blue", 25, 48, 5)});
        WriteCable("Gap", {MakeSegment("Red", 1, 24, 5), MakeSegment("Far", 31, 48, 5)});
    }
    void WriteCable(const char* name, std::initializer_list<TSegment> segments) {
        TCable c;
        c.CableName.Set(name);
        for (const TSegment& s : segments) ASSERT_EQ(IncludeSegment(c, s).Result, TIncludeResult::Included);
        WriteCableFile(CableFilePath(workspace.CableFolder().toStdString(), name), c);
    }
    TDialogServices Services() { return TDialogServices{workspace, prompts, help}; }

    QTemporaryDir home;
    TSequenceSet set;
    TWorkspace workspace{home.path(), set};
    TScriptedPrompts prompts;
    TRecordingHelp help;
};

// Lets queued events run (activation, replots).
inline void Settle() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}
