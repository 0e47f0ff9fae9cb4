#include "gui/TfrmMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <exception>

#include "engine/ListStore.h"
#include "engine/Subscription.h"
#include "gui/GuiUtil.h"
#include "gui/TfrmSmtpAuth.h"
#include "gui/pages/AboutPage.h"
#include "gui/pages/ExtraTextPage.h"
#include "gui/pages/GlobalPage.h"
#include "gui/pages/MembersPage.h"
#include "gui/pages/OptionsPage.h"
#include "gui/pages/PostPage.h"
#include "gui/pages/ResponsesPage.h"
#include "support/SettingTables.h"
#include "support/Version.h"

namespace corvanteer {

TfrmMain::TfrmMain(WindowSetup setup)
    : QMainWindow(nullptr),
      setup_(std::move(setup)),
      store_(*setup_.store),
      dialogs_(*setup_.dialogs),
      runtime_(setup_.paths, store_, observer_, console_,
               {setup_.clock, setup_.random, nullptr, nullptr, setup_.http}),
      services_(runtime_.services()) {
    setObjectName(QStringLiteral("frmMain"));
    auto* central = Child<QWidget>(this);
    auto* layout = Child<QVBoxLayout>(central);
    central->setLayout(layout);
    auto* top = Child<QWidget>(central);
    BuildTop(top);
    layout->addWidget(top);

    BuildPages(central);
    layout->addWidget(pagMain);
    setCentralWidget(central);

    lblStatus = Child<QLabel>(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->addWidget(lblStatus, 1);
    statusBar()->setSizeGripEnabled(true);

    BuildTray();
    ConnectPages();
    connect(&observer_, &ObserverBridge::statusText, this, &TfrmMain::ShowStatus);
    connect(&observer_, &ObserverBridge::trayImage, this, &TfrmMain::SetTrayImage);
    connect(&observer_, &ObserverBridge::rosterChanged, this, [this](const QString& list) {
        if (SameText(S(list), currentList_)) {
            members_->Refresh();
        }
    });
    connect(&pollBridge_, &PollTimerBridge::stopRequested, this, [this] { SessionTimer.stop(); });
    connect(&pollBridge_, &PollTimerBridge::intervalRequested, this, &TfrmMain::ApplyPollInterval);
    connect(&worker_, &SessionWorker::Finished, this, &TfrmMain::JobFinished);
    connect(&SessionTimer, &QTimer::timeout, this, &TfrmMain::SessionTimerTimer);
    connect(&ShutdownTimer, &QTimer::timeout, this, &TfrmMain::ShutdownTimerTimer);

    FormCreate();
    // The authentication window comes right after the main window, as at every start.
    smtpAuth_ = std::make_unique<TfrmSmtpAuth>(store_, setup_.paths.SettingsKey(), this);
    connect(smtpAuth_.get(), &TfrmSmtpAuth::settingsChanged, this, &TfrmMain::RefreshConsole);
    RefreshConsole();

    // Opens at the size its pages ask for; the operator may make it larger, or smaller down
    // to what the layouts need.
    adjustSize();
    resize(sizeHint());
    ShutdownTimer.start(5000);
}

TfrmMain::~TfrmMain() {
    SessionTimer.stop();
    ShutdownTimer.stop();
    if (!positionStored_) {
        Guarded([this] { FormDestroy(); });
    }
    // The pages go while every member still lives: the focus moving away from a field as it
    // is destroyed must find nothing to store.
    edits_.SetFilling(true);
    disconnect(&observer_, nullptr, this, nullptr);
    smtpAuth_.reset();
    std::unique_ptr<QWidget> pages(takeCentralWidget());
    pages.reset();
}

void TfrmMain::BuildPages(QWidget* parent) {
    PageHost& host = *this;
    pagMain = Named<QTabWidget>(parent, "pagMain");
    members_ = Child<MembersPage>(pagMain, host);
    options_ = Child<OptionsPage>(pagMain, host);
    responses_ = Child<ResponsesPage>(pagMain, host);
    post_ = Child<PostPage>(pagMain, host);
    extraText_ = Child<ExtraTextPage>(pagMain, host);
    global_ = Child<GlobalPage>(pagMain, host, setup_.executable);
    about_ = Child<AboutPage>(pagMain, host);
    pagMain->addTab(members_, QStringLiteral("Members"));
    pagMain->addTab(options_, QStringLiteral("Options"));
    pagMain->addTab(responses_, QStringLiteral("Responses"));
    pagMain->addTab(post_, QStringLiteral("Post message"));
    pagMain->addTab(extraText_, QStringLiteral("Extra text"));
    pagMain->addTab(global_, QStringLiteral("Global"));
    pagMain->addTab(about_, QStringLiteral("About"));
}

// What one page's state means for another passes through here.
void TfrmMain::ConnectPages() {
    connect(pagMain, &QTabWidget::currentChanged, this, [this](int index) {
        if (pagMain->widget(index) == members_) {
            members_->tabMembersShow();
        } else if (pagMain->widget(index) == responses_) {
            responses_->tabResponsesShow(options_->MembersPostWithPassword());
        }
    });
    connect(options_, &OptionsPage::subscribeRulesChanged, this, [this](bool allow, bool verify) {
        pagMain->setTabVisible(pagMain->indexOf(responses_), allow);
        responses_->ShowVerificationTabs(verify);
    });
    connect(options_, &OptionsPage::permissionsChanged, members_, &MembersPage::ShowBanControls);
    connect(options_, &OptionsPage::passwordRuleChanged, members_,
            &MembersPage::ShowPasswordButton);
    connect(post_, &PostPage::postRequested, this, &TfrmMain::StartPosting);
    connect(post_, &PostPage::abortRequested, this, [this] { abortPosting_ = true; });
    connect(global_, &GlobalPage::smtpAuthRequested, this, [this](const QPoint& at) {
        smtpAuth_->move(at);
        smtpAuth_->exec();
    });
    connect(global_, &GlobalPage::exitRequested, this, &TfrmMain::ExitApplication);
    connect(global_, &GlobalPage::checkConnectionsRequested, this, &TfrmMain::StartCheck);
    connect(global_, &GlobalPage::signInRequested, this,
            [this](const QString& account) { StartSignIn(S(account)); });
    connect(options_, &OptionsPage::signInRequested, this, [this] { StartSignIn(currentList_); });
    // Every line stays in sight: the first one holds the code or the address.
    connect(&signIn_, &SignInRunner::said, this, [this](const QString& line) {
        signInLines_ += (signInLines_.isEmpty() ? QString() : QStringLiteral(" ")) + line;
        ShowStatus(signInLines_);
    });
    connect(&signIn_, &SignInRunner::openUrl, this,
            [this](const QString& address) { dialogs_.OpenUrl(QUrl(address)); });
    connect(&signIn_, &SignInRunner::finished, this, [this](bool, const QString& message) {
        if (!ended_) {
            dialogs_.ShowMessage(this, message);
        }
    });
}

void TfrmMain::BuildTop(QWidget* parent) {
    auto* row = Child<QHBoxLayout>(parent);
    row->setContentsMargins(0, 0, 0, 0);
    parent->setLayout(row);
    auto* caption = Child<QLabel>(parent, QStringLiteral("List name"));
    cmbLists = Child<QComboBox>(parent);
    cmbLists->setObjectName(QStringLiteral("cmbLists"));
    cmbLists->setMinimumWidth(180);
    caption->setBuddy(cmbLists);
    butAddList = Child<QPushButton>(parent, QStringLiteral("+"));
    butAddList->setObjectName(QStringLiteral("butAddList"));
    butAddList->setToolTip(QStringLiteral("Add new list"));
    butDeleteList = Child<QPushButton>(parent, QStringLiteral("-"));
    butDeleteList->setObjectName(QStringLiteral("butDeleteList"));
    butDeleteList->setToolTip(QStringLiteral("Delete list"));
    butHide = Child<QPushButton>(parent, QStringLiteral("Hide"));
    butHide->setObjectName(QStringLiteral("butHide"));
    butHide->setToolTip(QStringLiteral("Minimize to tray"));
    butHelp = Child<QPushButton>(parent, QStringLiteral("?"));
    butHelp->setObjectName(QStringLiteral("butHelp"));
    butHelp->setToolTip(QStringLiteral("Help"));
    butGo = Child<QPushButton>(parent, QStringLiteral("Go"));
    butGo->setObjectName(QStringLiteral("butGo"));
    butGo->setToolTip(QStringLiteral("Scan manually"));
    butSessionTimer = Child<QPushButton>(parent, QStringLiteral("Auto"));
    butSessionTimer->setObjectName(QStringLiteral("butSessionTimer"));
    for (QPushButton* button : {butAddList, butDeleteList, butHelp}) {
        button->setFixedWidth(32);
    }
    row->addWidget(caption);
    row->addWidget(cmbLists);
    row->addWidget(butAddList);
    row->addWidget(butDeleteList);
    row->addStretch(1);
    row->addWidget(butHide);
    row->addWidget(butHelp);
    row->addWidget(butGo);
    row->addWidget(butSessionTimer);

    connect(cmbLists, &QComboBox::currentIndexChanged, this, [this] {
        if (!edits_.Filling()) {
            cmbListsChange();
        }
    });
    connect(butAddList, &QPushButton::clicked, this, [this] { butAddListClick(); });
    connect(butDeleteList, &QPushButton::clicked, this, [this] { butDeleteListClick(); });
    connect(butHide, &QPushButton::clicked, this, &TfrmMain::butHideClick);
    connect(butHelp, &QPushButton::clicked, this, &TfrmMain::butHelpClick);
    connect(butGo, &QPushButton::clicked, this, &TfrmMain::butGoClick);
    connect(butSessionTimer, &QPushButton::clicked, this, &TfrmMain::butSessionTimerClick);
}

void TfrmMain::FormCreate() {
    setWindowTitle(Q(WindowTitle()));
    pagMain->setCurrentWidget(members_);

    const SettingReader stored(store_, setup_.paths.SettingsKey(), GlobalSettingTable(),
                               /*scan=*/false, setup_.paths.appDir);
    move(stored.Integer("Left"), stored.Integer("Top"));

    global_->LoadSettings();

    // The selector in the store's order; LastList picks the entry (none when out of range).
    edits_.SetFilling(true);
    cmbLists->clear();
    for (const std::string& name : ListNames(store_, setup_.paths)) {
        cmbLists->addItem(Q(name));
    }
    const int last = stored.Integer("LastList");
    cmbLists->setCurrentIndex(last >= 0 && last < cmbLists->count() ? last : -1);
    edits_.SetFilling(false);

    if (stored.Boolean("TimerON") != autoScan_) {
        butSessionTimerClick();
    }
    smtpHostAtStart_ = stored.Text("SMTPHost");
    smtpPortAtStart_ = stored.Integer("SMTPPort");
    hideOnMinimize_ = global_->SettingsShown().Minimized;
    RefreshConsole();
    Guarded([this] { ExpirePendingVerifications(services_); });
    LoadList();
}

void TfrmMain::FormDestroy() {
    const std::string key = setup_.paths.SettingsKey();
    store_.WriteRegInteger(key, "Top", y());
    store_.WriteRegInteger(key, "Left", x());
    store_.WriteRegInteger(key, "LastList", cmbLists->currentIndex());
    positionStored_ = true;
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // Closing hides the window into the notification area where there is one (the tray
    // menu's "Exit" ends the program); elsewhere it ends the program as "Exit" does.
    if (ended_) {
        event->accept();
        return;
    }
    event->ignore();
    if (trayIcon != nullptr) {
        hide();
        return;
    }
    ExitApplication();
}

void TfrmMain::ExitApplication() {
    if (ended_) {
        return;
    }
    ended_ = true;
    SessionTimer.stop();
    ShutdownTimer.stop();
    Guarded([this] {
        CommitPendingEdits();
        FormDestroy();
    });
    if (trayIcon != nullptr) {
        trayIcon->hide();
    }
    hide();
    QApplication::quit();
}

void TfrmMain::ShowAtStart() {
    if (!hideOnMinimize_) {
        show();
    } else if (trayIcon != nullptr) {
        hide();
    } else {
        showMinimized();
    }
}

void TfrmMain::Guarded(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        dialogs_.ShowMessage(this, QString::fromStdString(error.what()));
    }
}

GlobalSettings TfrmMain::GlobalsShown() const {
    GlobalSettings g = global_->SettingsShown();
    if (smtpAuth_) {
        g.ReqSmtpAuth = smtpAuth_->RequireAuthentication();
        g.SmtpUser = smtpAuth_->User();
        g.SmtpPassword = smtpAuth_->Password();
    }
    g.Top = y();
    g.Left = x();
    g.LastList = cmbLists->currentIndex();
    return g;
}

void TfrmMain::RefreshConsole() {
    console_.SetGlobals(GlobalsShown());
    std::vector<std::string> names;
    for (int i = 0; i < cmbLists->count(); ++i) {
        names.push_back(S(cmbLists->itemText(i)));
    }
    console_.SetListNames(std::move(names));
}

void TfrmMain::SetUpdateBaseUrl(std::string url) {
    about_->SetUpdateBaseUrl(std::move(url));
}

QString TfrmMain::StatusTextShown() const {
    return lblStatus->text();
}

void TfrmMain::ShowStatus(const QString& text) {
    lblStatus->setText(text);
}

}  // namespace corvanteer
