#include "e2e/ScanWorld.h"

#include <mutex>

#include "engine/MailConnections.h"
#include "support/Files.h"
#include "support/SectionFile.h"
#include "support/SettingTables.h"

namespace corvanteer::testing {

namespace {

class IdleTimer : public PollTimer {
public:
    void Stop() override {}
    void SetIntervalMs(int64_t) override {}
};

}  // namespace

std::unique_ptr<MailServers> ScanWorld::servers_;

void ScanWorld::SetUpTestSuite() {
    servers_ = std::make_unique<MailServers>();
    servers_->Start();
}

void ScanWorld::TearDownTestSuite() {
    servers_.reset();
}

ScanWorld::ScanWorld()
    : paths(AppPaths::ForDirectory(dir.Path())),
      store(SettingsStore::Open(paths.SettingsDatabase())),
      storeLock(paths.StoreLockFile()),
      console(*store, paths),
      services{paths, *store, pop3, smtp, clock, random, observer, storeLock, console} {
    clock.Set(2026, 3, 9, 14, 5, 0);
    ShortenTimeouts(pop3);
    ShortenTimeouts(smtp);
}

void ScanWorld::SetUp() {
    ASSERT_TRUE(servers_ && servers_->Started()) << "the mail servers did not start";
}

void ScanWorld::ShortenTimeouts(TPop3Client& client) {
    client.ConnectTimeoutMs = kWaitMs;
    client.FirstByteTimeoutMs = kWaitMs;
    client.ReadTimeoutMs = kWaitMs;
    client.MultiLineReadTimeoutMs = kWaitMs;
    client.SendTimeoutMs = kWaitMs;
}

void ScanWorld::ShortenTimeouts(TSmtpClient& client) {
    client.ConnectTimeoutMs = kWaitMs;
    client.ReplyTimeoutMs = kWaitMs;
    client.ReadTimeoutMs = kWaitMs;
    client.SendTimeoutMs = kWaitMs;
}

void ScanWorld::SetGlobal(const std::string& name, const std::string& text) {
    const SettingDef* def = FindSetting(GlobalSettingTable(), name);
    ASSERT_NE(nullptr, def) << name;
    WriteSettingText(*store, paths.SettingsKey(), *def, text);
}

void ScanWorld::SetListSetting(const std::string& list, const std::string& name,
                               const std::string& text) {
    const SettingDef* def = FindSetting(ListSettingTable(), name);
    ASSERT_NE(nullptr, def) << name;
    WriteSettingText(*store, paths.ListKey(list), *def, text);
}

void ScanWorld::SetSection(const std::string& list, const std::string& section,
                           const Lines& lines) {
    WriteSection(paths.ListDataFile(list), section, lines);
}

ScanOutcome ScanWorld::RunScan() {
    smtp.Server = SmtpServerFromSettings(console.Globals());
    SessionLock lock(paths.SessionLockFile());
    std::lock_guard<SessionLock> guard(lock);
    IdleTimer timer;
    return RunScanSession(services, timer);
}

Lines ScanWorld::LogLines() const {
    auto text = ReadFileIfExists(paths.LogFile());
    return text ? TextToLines(*text) : Lines{};
}

}  // namespace corvanteer::testing
