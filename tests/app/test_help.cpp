// The user guide as the help window shows it: the help menu and buttons reach their pages, and every
// link between pages leads to a page the window can show and, with #name, to an anchor in it.
#include <gtest/gtest.h>

#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <set>

#include "app/apppaths.h"
#include "app/configurationfrm.h"
#include "app/mainfrm.h"
#include "qtsupport/helpviewer.h"
#include "tests/app/apptestkit.h"

namespace {

QTextBrowser* Browser() { return qobject_cast<QTextBrowser*>(HelpWindow()); }

QString ShownPage() { return Browser() ? Browser()->source().fileName() : QString(); }

QAction* MenuAction(QWidget& window, const QString& text) {
    for (QAction* a : window.findChildren<QAction*>())
        if (QString(a->text()).remove('&') == text) return a;
    return nullptr;
}

// The links of a shown document and the anchors it holds, as the help window sees them.
void LinksAndAnchors(const QTextDocument& doc, std::vector<QString>& links, std::set<QString>& anchors) {
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (const QString& name : b.blockFormat().property(QTextFormat::AnchorName).toStringList())
            anchors.insert(name);
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            for (const QString& name : f.anchorNames()) anchors.insert(name);
            if (f.isAnchor() && !f.anchorHref().isEmpty()) links.push_back(f.anchorHref());
        }
    }
}

TEST(HelpGuide, TheHelpMenuAndTheConfigurationHelpButtonOpenTheirPages) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QSettings store(home.path() + "/settings.ini", QSettings::IniFormat);
    TScriptedPrompts prompts;
    TMainFrm window(prompts, store, home.path() + "/data/");
    for (auto [text, page] :
         {std::pair{"Help on Teravox", "100.html"}, std::pair{"Help on array type", "500.html"}}) {
        QAction* item = MenuAction(window, text);
        ASSERT_NE(item, nullptr) << text;
        item->trigger();
        EXPECT_EQ(ShownPage(), page) << text;
    }
    TPageHelpOpener pages;
    TConfigurationFrm dialog(&window, pages);
    auto* box = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    ASSERT_NE(box->button(QDialogButtonBox::Help), nullptr);
    box->button(QDialogButtonBox::Help)->click();
    EXPECT_EQ(ShownPage(), "1200.html");
}

TEST(HelpGuide, EveryLinkBetweenPagesOpensItsPageAndAnchor) {
    const QString folder = HelpFolderPath();
    ASSERT_FALSE(folder.isEmpty());
    const QStringList pages = QDir(folder).entryList({"*.html"}, QDir::Files);
    ASSERT_GE(pages.size(), 18) << "the map ids' pages and the guide's";
    ShowHelpTopic(100);
    QTextBrowser* browser = Browser();
    ASSERT_NE(browser, nullptr);
    int checked = 0;
    for (const QString& page : pages) {
        const QUrl pageUrl = QUrl::fromLocalFile(folder + page);
        browser->setSource(pageUrl);
        ASSERT_EQ(browser->source(), pageUrl);
        EXPECT_FALSE(browser->documentTitle().isEmpty()) << page.toStdString();
        std::vector<QString> links;
        std::set<QString> ignored;
        LinksAndAnchors(*browser->document(), links, ignored);
        for (const QString& href : links) {
            const QUrl target = pageUrl.resolved(QUrl(href));
            if (!target.isLocalFile()) continue;  // the maker's site opens in the browser
            const std::string where = page.toStdString() + " -> " + href.toStdString();
            ASSERT_TRUE(QFileInfo::exists(target.toLocalFile())) << where;
            browser->setSource(target);
            EXPECT_GT(browser->document()->characterCount(), 100) << where;
            if (!target.fragment().isEmpty()) {
                std::vector<QString> unused;
                std::set<QString> anchors;
                LinksAndAnchors(*browser->document(), unused, anchors);
                EXPECT_TRUE(anchors.count(target.fragment())) << where << ": no such anchor";
            }
            ++checked;
            browser->setSource(pageUrl);
        }
    }
    EXPECT_GT(checked, 60);
}

}  // namespace
