#pragma once

// A POP3 client that tells standard error which mailbox a scan opens and how many messages
// it holds: the command line's line per phase and list (the session itself writes nothing
// to a status bar). It hands every call to the real client.

#include <iosfwd>

#include "transport/MailClients.h"

namespace corvanteer::cli {

class ReportingPop3 final : public Pop3Client {
public:
    ReportingPop3(Pop3Client& inner, std::ostream& err) : inner_(inner), err_(err) {}

    bool Login() override;
    bool Stat() override;
    void Top(int number) override;
    void Retrieve(int number) override;
    bool Delete(int number) override;
    void Quit() override;
    bool Connected() const override { return inner_.Connected(); }

private:
    // Every member moves to the inner client before a call and back after it, so the pair
    // behaves as one client.
    void Give();
    void Take();

    Pop3Client& inner_;
    std::ostream& err_;
};

}  // namespace corvanteer::cli
