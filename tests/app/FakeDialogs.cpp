// The application object shared by the window tests: made before the first
// test and destroyed after the last one, while Qt's own globals still live.
#include "FakeDialogs.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace norrvik::test {

namespace {

class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        application_ = std::make_unique<QApplication>(argc_, argv_);
        QApplication::setApplicationName(QStringLiteral("Norrvik"));
    }
    void TearDown() override { application_.reset(); }

private:
    int argc_ = 1;
    char name_[10] = "app_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

} // namespace

void EnsureApplication()
{
    ASSERT_NE(QApplication::instance(), nullptr);
}

} // namespace norrvik::test
