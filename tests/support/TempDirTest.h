#pragma once
// A test fixture that works in a fresh temporary folder, made the current directory,
// and leaves the current directory as it found it. Needs no application object.

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace testsupport {

class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        previous_ = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir_.path()));
    }
    void TearDown() override { QDir::setCurrent(previous_); }
    QString tempPath() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QString previous_;
};

} // namespace testsupport
