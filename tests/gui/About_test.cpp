// The About page's update check: asked first, fetched beside the window through the window's
// one HTTP client, a newer version offered with its what's-new page.

#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "GuiFixture.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

using AboutTest = GuiTest;

TEST_F(AboutTest, UpdateCheckFetchesThroughTheWindowsClientAndOffersTheNewerVersion) {
    TfrmMain& w = Open();
    w.SetUpdateBaseUrl("http://updates.example.test");
    http.Answer(200, "otherapp 1.0\r\ncorvanteer 99.1\r\n");
    dialogs.QueueButton(DialogButton::Yes);  // check for the latest version?
    dialogs.QueueButton(DialogButton::Yes);  // read about the newer one?
    Find<QPushButton>("butUpdates")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialogs.calls.size() == 2; }, 20000));
    EXPECT_EQ(dialogs.calls[1].title, QStringLiteral("New Version Found"));
    const std::vector<HttpRequest> requests = http.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].url, "http://updates.example.test/upgrades.txt");
    EXPECT_TRUE(requests[0].plainHttp);
    ASSERT_EQ(dialogs.urls.size(), 1u);
    EXPECT_EQ(dialogs.urls[0].toString(),
              QStringLiteral("http://updates.example.test/corvant/whatsnew.shtml"));
    EXPECT_FALSE(FileExists(paths.appDir + "temp.txt"));
}

}  // namespace
}  // namespace corvanteer::testing
