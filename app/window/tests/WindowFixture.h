#pragma once

#include "core/AppViewModel.h"
#include "window/ContentView.h"

#include <platform/UserDefaults.h>
#include <testsupport/Files.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <memory>

// A project folder and user defaults of the test's own, a view model over the standard services
// and, once made, a window over it. Making them again with the same defaults is a relaunch.
class WindowFixture : public ::testing::Test {
protected:
    WindowFixture()
    {
        project = QDir(dir.path()).filePath(QStringLiteral("project"));
        QDir().mkpath(project);
        previousDefaults = platform::UserDefaults::standard();
        platform::UserDefaults::setStandard(
            std::make_shared<platform::UserDefaults>(QDir(dir.path()).filePath(QStringLiteral("defaults.json"))));
    }

    ~WindowFixture() override
    {
        closeWindow();
        platform::UserDefaults::setStandard(previousDefaults);
    }

    QString path(const QString& relative) const { return project + u'/' + relative; }
    void write(const QString& relative, const QByteArray& content) const { testsupport::writeFile(path(relative), content); }

    quillora::ContentView& openWindow(quillora::WindowServices services = {})
    {
        closeWindow();
        viewModel = std::make_unique<quillora::AppViewModel>(quillora::AppViewModelServices::standard());
        window = std::make_unique<quillora::ContentView>(*viewModel, std::move(services));
        window->resize(1400, 900);
        window->show();
        return *window;
    }

    void closeWindow()
    {
        window.reset();
        viewModel.reset();
    }

    QTemporaryDir dir;
    QString project;
    std::shared_ptr<platform::UserDefaults> previousDefaults;
    std::unique_ptr<quillora::AppViewModel> viewModel;
    std::unique_ptr<quillora::ContentView> window;
};
