#pragma once

// One Qt application object for a test program's whole run: fonts,
// clipboards, dialogs and printers all need one, and Qt allows one at a time.
// Register it at namespace scope:
//
//     const auto* const gApplication = AddQtTestApplication<QApplication>("PrintTests");

#include <gtest/gtest.h>

#include <memory>
#include <string>

template <typename Application>
class QtTestApplication : public testing::Environment {
public:
    explicit QtTestApplication(const char* name) : name_(name) {}

    void SetUp() override
    {
        argv_[0] = name_.data();
        app_ = std::make_unique<Application>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    std::string name_;
    int argc_ = 1;  // Qt keeps a reference to it for the application's life
    char* argv_[2] = {nullptr, nullptr};
    std::unique_ptr<Application> app_;
};

template <typename Application>
testing::Environment* AddQtTestApplication(const char* name)
{
    return testing::AddGlobalTestEnvironment(new QtTestApplication<Application>(name));
}
