#include <gtest/gtest.h>

#include "core/application.h"
#include "core/errors.h"
#include "platform/system.h"
#include "tests/support/machine_fixture.h"

namespace omb {
namespace {

class TestApplication : public Application {
 public:
  using Application::Application;
  int Run(int) override { return 7; }
};

class FakeSession : public RemoteSession {
 public:
  explicit FakeSession(std::string host) : host_(std::move(host)) {}
  const std::string& host() const override { return host_; }

 private:
  std::string host_;
};

class ApplicationTest : public test::MachineTest {
 protected:
  // A connector that answers every host except "down" and "old".
  static RemoteConnector FakeConnector() {
    return [](const std::string& host, int& status) -> std::unique_ptr<RemoteSession> {
      if (host == "down") status = 1;
      if (host == "old") status = 2;
      if (host == "down" || host == "old") return nullptr;
      return std::make_unique<FakeSession>(host);
    };
  }
};

TEST_F(ApplicationTest, StartUpFillsTheProcessWideValues) {
  TestApplication app;
  EXPECT_EQ(app.title(), "Ombrel for Domino");
  EXPECT_EQ(app.connection(), nullptr);
  EXPECT_EQ(ProgramPath(), platform::ProgramFilePath());
  EXPECT_EQ(VersionText(), "1.0.0.0");
  ASSERT_FALSE(ConnectHostNames().empty());
  EXPECT_EQ(ConnectHostNames().front(), "local");
  ASSERT_FALSE(RecentHostNames().empty());
  EXPECT_EQ(RecentHostNames().front(), "local");
  TestApplication second;  // a second object does not repeat the entry
  EXPECT_EQ(ConnectHostNames().size(), 1u);
}

TEST_F(ApplicationTest, ComFailureIsRaisedWithTheSystemText) {
  StartupSteps steps;
  steps.initializeCom = [] { return 0x8ABC0001u; };
  try {
    TestApplication app(steps);
    FAIL() << "no error raised";
  } catch (const COMInitFailure& error) {
    EXPECT_EQ(error.message(), "Failure to initialize COM: Unknown error.");
  }
}

TEST_F(ApplicationTest, ComAlreadyStartedIsNoFailure) {
  StartupSteps steps;
  steps.initializeCom = [] { return 1u; };  // S_FALSE: already initialised on this thread
  EXPECT_NO_THROW(TestApplication app(steps));
}

TEST_F(ApplicationTest, SocketFailureIsRaisedAfterComStarted) {
  bool comStarted = false;
  StartupSteps steps;
  steps.initializeCom = [&comStarted] {
    comStarted = true;
    return 0u;
  };
  steps.startSockets = [] { return 10091; };  // WSASYSNOTREADY
  EXPECT_THROW(TestApplication app(steps), NetworkInitFailure);
  EXPECT_TRUE(comStarted);
}

TEST_F(ApplicationTest, LocalNamesSelectThisMachine) {
  TestApplication app;
  int status = -1;
  app.Connect("", status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(app.Connect("localhost"));
  EXPECT_EQ(app.connection(), nullptr);
}

TEST_F(ApplicationTest, OtherHostsFailWithoutARemoteClient) {
  TestApplication app;
  int status = -1;
  app.Connect("LOCALHOST", status);  // not exactly "localhost": a remote host
  EXPECT_EQ(status, 1);
  EXPECT_FALSE(app.Connect("mail2.example.com"));
  EXPECT_EQ(app.connection(), nullptr);
}

TEST_F(ApplicationTest, RemoteConnectionIsKeptUntilReplacedOrDropped) {
  TestApplication app({}, FakeConnector());
  ASSERT_TRUE(app.Connect("mail2"));
  ASSERT_NE(app.connection(), nullptr);
  EXPECT_EQ(app.connection()->host(), "mail2");

  int status = -1;
  app.Connect("down", status);
  EXPECT_EQ(status, 1);
  app.Connect("old", status);
  EXPECT_EQ(status, 2);
  ASSERT_NE(app.connection(), nullptr);
  EXPECT_EQ(app.connection()->host(), "mail2");  // failures keep the previous one

  EXPECT_TRUE(app.Connect("mail3"));
  EXPECT_EQ(app.connection()->host(), "mail3");
  EXPECT_TRUE(app.Connect("localhost"));
  EXPECT_EQ(app.connection(), nullptr);
}

}  // namespace
}  // namespace omb
