// The one Qt application of the desktop program's tests, and the units
// started once before the first test.
#include <QtTestApplication.h>
#include <SpriteEngine/SpriteEngineInitialization.h>

#include <QApplication>

namespace {

class BrindletEnvironment : public testing::Environment {
public:
    void SetUp() override { InitializeSpriteEngineUnits(); }
};

const auto* const gApplication = AddQtTestApplication<QApplication>("BrindletTests");
const auto* const gUnits = testing::AddGlobalTestEnvironment(new BrindletEnvironment);

}  // namespace
