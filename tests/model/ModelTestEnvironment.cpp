#include "app/StringTable.h"
#include "schedule/CReserve.h"

#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {
// Settings go to a folder of our own before any test can read them; texts in English.
class ModelEnvironment final : public testing::Environment {
public:
    void SetUp() override
    {
        m_dir = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(m_dir->isValid());
        qputenv("XDG_CONFIG_HOME", m_dir->path().toUtf8());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir->path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir->path());
        vtstr::SetLanguage(vtstr::Language::English);
    }
    void TearDown() override
    {
        vtclock::SetClockForTesting({});
        m_dir.reset();
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

[[maybe_unused]] testing::Environment* const g_env = testing::AddGlobalTestEnvironment(new ModelEnvironment);
} // namespace
