// "Open archive" on the Members page: the list's archive is built and its index handed to the
// browser.

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "GuiFixture.h"
#include "engine/archive/Mbox.h"
#include "engine/archive/MboxStore.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

using ArchiveTest = GuiTest;

constexpr int kBoundMs = 20000;

TEST_F(ArchiveTest, OpenArchiveBuildsTheIndexAndOpensIt) {
    archive::MboxStore(paths.MboxFolder("Default List"))
        .Append("2026-03", archive::MboxRecord("Subject: Hello\nMessage-ID: <h@x>\n\nHi\n",
                                               "list@example.org", 1773064800));
    Open();
    // The description comes from the Extra text page.
    Type(Find<QPlainTextEdit>("memoDescription"), "All about <the club>.");
    Leave(Find<QPlainTextEdit>("memoDescription"));
    Find<QPushButton>("butOpenArchive")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.urls.empty(); }, kBoundMs));
    const std::string index = paths.HtmlArchiveFolder("Default List") + "index.html";
    EXPECT_EQ(dialogs.urls[0], QUrl::fromLocalFile(QString::fromStdString(index)));
    EXPECT_NE(ReadFile(index).find("<p>All about &lt;the club&gt;.</p>"), std::string::npos);
    EXPECT_TRUE(FileExists(paths.HtmlArchiveFolder("Default List") + "2026-03/threads.html"));
    EXPECT_TRUE(Find<QPushButton>("butOpenArchive")->isEnabled());
    EXPECT_TRUE(dialogs.calls.empty());
}

}  // namespace
}  // namespace corvanteer::testing
