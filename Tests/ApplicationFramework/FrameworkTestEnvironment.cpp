// The one Qt application of the framework's test programs, and the
// framework's units started once before the first test.
#include <ApplicationFramework/FrameworkInitialization.h>
#include <QtTestApplication.h>

#include <QApplication>

namespace {

class FrameworkEnvironment : public testing::Environment {
public:
    void SetUp() override { InitializeFrameworkUnits(); }
};

const auto* const gApplication = AddQtTestApplication<QApplication>("FrameworkTests");
const auto* const gFramework = testing::AddGlobalTestEnvironment(new FrameworkEnvironment);

}  // namespace
