#pragma once
// Builds the real main window on scripted dialogs, with its settings in a
// temporary folder and its program folder in another.
#include "core/settings_store.h"
#include "core/stored_values.h"
#include "platform/qt_clipboard.h"
#include "net/qt_http_client.h"
#include "retrieval/quote_service.h"
#include "platform/xlsx_spreadsheet.h"
#include "support/scripted_dialogs.h"
#include "window/main_window.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace larkspire::test {

class WindowFixture : public ::testing::Test {
protected:
    Platform makePlatform()
    {
        Platform p;
        p.dialogs = &dialogs;
        p.settingsFolder = configDir.path();
        p.programFolder = programDir.path();
        p.endProgram = [this] { ++endProgramCalls; };
        p.http = http.get();
        p.clipboard = &clipboard;
        p.spreadsheet = &spreadsheet;
        p.quoteHost = quoteHost;
        return p;
    }
    MainWindow& start()
    {
        window = std::make_unique<MainWindow>(makePlatform());
        return *window;
    }
    SettingsStore store() const { return SettingsStore(configDir.path()); }
    QString stored(const QString& key, const QString& fallback = QStringLiteral("<absent>")) const
    {
        return store().read(kSettingsApplication, kSettingsSection, key, fallback);
    }
    void putStored(const QString& key, const QString& value)
    {
        store().write(kSettingsApplication, kSettingsSection, key, value);
    }
    QStringList symbols() const
    {
        QStringList out;
        ListModel& list = window->symbolList();
        for (int i = 1; i <= list.count(); ++i)
            out << list.text(i);
        return out;
    }

    QTemporaryDir configDir;
    QTemporaryDir programDir;
    ScriptedDialogs dialogs;
    // Created by tests that fetch pages; no proxy, short limits.
    std::unique_ptr<QtHttpClient> http;
    QString quoteHost = QStringLiteral("127.0.0.1:9");
    // The real clipboard; a spreadsheet program that is there unless a test
    // says otherwise, whose opened files are recorded instead of shown.
    QtClipboard clipboard;
    bool spreadsheetInstalled = true;
    QList<QUrl> openedFiles;
    QTemporaryDir workbookDir;
    XlsxSpreadsheetApplication spreadsheet{{[this] { return spreadsheetInstalled; },
                                            [this](const QUrl& url) {
                                                openedFiles << url;
                                                return true;
                                            },
                                            workbookDir.path()}};
    std::unique_ptr<MainWindow> window;
    int endProgramCalls = 0;
};

} // namespace larkspire::test
