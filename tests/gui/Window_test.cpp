// The main window as a desktop window: resizable, closable, and the About page laid out so
// every line shows at the size it opens with.

#include <QCloseEvent>
#include <QLabel>
#include <QTabWidget>
#include <QTest>

#include "GuiFixture.h"

namespace corvanteer::testing {
namespace {

using WindowTest = GuiTest;

TEST_F(WindowTest, TheWindowResizesAndClosingWithoutATrayEndsTheProgram) {
    TfrmMain& w = Open();
    w.show();
    EXPECT_FALSE(w.windowFlags().testFlag(Qt::CustomizeWindowHint)) << "no border icons";
    EXPECT_NE(w.minimumSize(), w.maximumSize()) << "a fixed size";
    const QSize opened = w.size();
    w.resize(opened + QSize(200, 150));
    EXPECT_EQ(w.size(), opened + QSize(200, 150));
    w.move(260, 140);

    // No notification area here: closing ends the program as "Exit" does.
    EXPECT_FALSE(w.close()) << "the window itself stays until the program ends";
    EXPECT_TRUE(w.Ended());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(store->ReadRegInteger(Key(), "Left", 0), 260);
    EXPECT_EQ(store->ReadRegInteger(Key(), "Top", 0), 140);
}

TEST_F(WindowTest, EveryLineOfTheAboutPageShowsAtTheOpeningSize) {
    TfrmMain& w = Open();
    w.show();
    Find<QTabWidget>("pagMain")->setCurrentWidget(Find<QWidget>("tabAbout"));
    QTest::qWait(0);
    std::vector<QLabel*> labels;
    for (const char* name :
         {"lblAppName", "lblAppVersion", "lblAppDesc", "lblAppCopyright", "lblAppLicence"}) {
        QLabel* label = Find<QLabel>(name);
        labels.push_back(label);
        EXPECT_TRUE(label->isVisible()) << name;
        const int needed = label->hasHeightForWidth() ? label->heightForWidth(label->width())
                                                      : label->sizeHint().height();
        EXPECT_GE(label->height(), needed) << name << " is cut";
        EXPECT_GE(label->width(), std::min(label->sizeHint().width(), w.width() / 2)) << name;
    }
    for (size_t i = 1; i < labels.size(); ++i) {
        EXPECT_LE(labels[i - 1]->geometry().bottom(), labels[i]->geometry().top())
            << labels[i - 1]->objectName().toStdString() << " runs into "
            << labels[i]->objectName().toStdString();
    }
    EXPECT_TRUE(Find<QLabel>("lblAppLicence")->text().contains("GNU General Public License"));
}

}  // namespace
}  // namespace corvanteer::testing
