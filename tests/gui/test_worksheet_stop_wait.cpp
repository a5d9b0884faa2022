// Closing the worksheet while a statement runs on a network that has stopped answering (the break gets no
// reply): the wait for the statement ends after the stop's time limit, the program closes cleanly and no
// message shows on the way out.
#include "app/ProgramFolder.h"
#include "app/gui/FVestra.h"
#include "app/gui/VestraApp.h"
#include "app/gui/WorksheetRun.h"
#include "connect/ConnectForm.h"
#include "tests/gui/GuiTest.h"
#include "tests/oracle/OraE2e.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace guitest;

namespace {

// Forwards one loopback connection to the emulator until Freeze: from then on nothing passes either way, as
// on a network that went dead. Stops by itself when destroyed.
class TFreezingProxy {
public:
    explicit TFreezingProxy(int targetPort) : target_(targetPort) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = Loopback(0);
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) throw std::runtime_error("bind");
        if (::listen(listen_, 4) != 0) throw std::runtime_error("listen");
        socklen_t len = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~TFreezingProxy() {
        stop_ = true;
        thread_.join();
        for (int fd : {client_, server_, listen_})
            if (fd >= 0) ::close(fd);
    }
    std::string Server() const { return "127.0.0.1:" + std::to_string(port_) + ":bnx"; }
    void Freeze() { frozen_ = true; }

private:
    static sockaddr_in Loopback(int port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(uint16_t(port));
        return a;
    }
    void Serve() {
        while (!stop_) {
            if (client_ < 0) {
                pollfd p{listen_, POLLIN, 0};
                if (::poll(&p, 1, 20) <= 0) continue;
                client_ = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
                server_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                sockaddr_in a = Loopback(target_);
                if (::connect(server_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return;
                continue;
            }
            if (frozen_) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            pollfd p[2] = {{client_, POLLIN, 0}, {server_, POLLIN, 0}};
            if (::poll(p, 2, 20) <= 0) continue;
            char buf[8192];
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & (POLLIN | POLLHUP))) continue;
                ssize_t n = ::recv(p[i].fd, buf, sizeof buf, 0);
                if (n <= 0) continue;
                ::send(i == 0 ? server_ : client_, buf, size_t(n), MSG_NOSIGNAL);
            }
        }
    }
    int target_;
    int listen_ = -1, client_ = -1, server_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false}, frozen_{false};
    std::thread thread_;
};

vemu::EmuOptions Slow() {
    vemu::EmuOptions o;
    o.benchRows = 200;
    o.slowFetchMs = 100;
    return o;
}

TEST(WorksheetStopWait, ClosingWhileTheNetworkIsDeadEndsAfterTheStopsTimeLimitWithoutAMessage) {
    oratest::TEmu emu(Slow());
    TFreezingProxy proxy(emu.emu.Port());
    SetProgramFolderForTests(BinFolder().toStdString());
    std::unique_ptr<TFVestra> w = StartLoggedOn(proxy.Server());
    ASSERT_TRUE(w);
    ASSERT_TRUE(w->Sess.Connected());
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    EXPECT_EQ(w->Run()->StopWaitMs, 3000);
    w->Mmo->setPlainText("SELECT ID, NAME FROM BENCH ORDER BY ID");
    w->BtnExec->click();
    ASSERT_TRUE(w->Run()->Busy());
    QTest::qWait(300);
    proxy.Freeze();
    QTest::qWait(100);

    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(w->close());
    const qint64 ms = t.elapsed();
    EXPECT_GE(ms, 2500) << "the statement ended without the time limit";
    EXPECT_LT(ms, 4500);
    EXPECT_FALSE(w->Run()->Busy());
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // The cut connection was closed quietly on the way out.
    EXPECT_FALSE(w->Sess.Connected());
    QTest::qWait(50);
    w.reset();
    SetProgramFolderForTests("");
}

} // namespace
