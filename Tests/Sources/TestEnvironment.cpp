// The one Qt application of the desktop program's tests, the units
// started once before the first test, and a home of the process's own: the
// preferences one test process writes never reach another running beside it.
#include <FileFixtures.h>
#include <QtTestApplication.h>
#include <SpriteEngine/SpriteEngineInitialization.h>

#include <QApplication>

namespace {

class BrindletEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        home_ = std::make_unique<ScopedHome>();
        InitializeSpriteEngineUnits();
    }
    void TearDown() override { home_.reset(); }

private:
    std::unique_ptr<ScopedHome> home_;
};

const auto* const gApplication = AddQtTestApplication<QApplication>("BrindletTests");
const auto* const gUnits = testing::AddGlobalTestEnvironment(new BrindletEnvironment);

}  // namespace
