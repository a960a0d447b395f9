// "Save Results As Text File" and the column-aligned text file writer.
#include "core/common_routines.h"
#include "core/step_runner.h"
#include "results/column_layout.h"
#include "window/main_window.h"

#include <QSaveFile>

namespace larkspire {

namespace {
QString cellOf(const ListModel& list, int row, int column)
{
    return column == 1 ? list.text(row) : list.subItem(row, column - 1);
}
} // namespace

void MainWindow::saveResultsAsText()
{
    StepRunner step(*m_platform.dialogs, QStringLiteral("Form1"), QStringLiteral("PushButton4_Click"));
    runHandler([&] {
        if (!someRowTicked()) // no file dialog and no file of a header alone
            return;
        FileDialogRequest request;
        step(108, [&] { request.title = QStringLiteral("Save"); });
        step(110, [&] { request.filter = QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"); });
        QString fileName;
        step(112, [&] { fileName = m_platform.dialogs->saveFileName(request); });
        if (fileName.isEmpty()) // step 116
            return;
        step(118, [&] { SetMousePointer(kPointerHourglass); });
        step(120, [&] { SaveListviewProperlySpaced(m_ui.resultsView, fileName, m_ui.progressBar); });
        step(122, [&] { SetMousePointer(kPointerDefault); });
    });
}

void MainWindow::SaveListviewProperlySpaced(ListView* view, const QString& fileName, ProgressBar* bar)
{
    StepRunner step(*m_platform.dialogs, QStringLiteral("Main"), QStringLiteral("SaveListviewProperlySpaced"));
    const ListModel& list = view->items();
    const QString shortName = FileNameFromPath(fileName);
    const QString writing = QStringLiteral("Writing file: ") + shortName;
    auto progress = [&](int stepNumber, double position, const QString& text) {
        if (!bar)
            return;
        step(stepNumber, [&] {
            yieldEvents();
            bar->setPosition(position);
            bar->setBarText(text);
            yieldEvents();
        });
    };
    auto backToIdle = [&] {
        if (bar)
            step(238, [&] {
                bar->setPosition(0);
                bar->setBarText(QStringLiteral("Progress Bar"));
            });
    };

    progress(100, 1, writing);

    // Widths over the header and every row, ticked or not.
    std::vector<qsizetype> widths;
    step(112, [&] {
        const int columns = list.columnTotal();
        const int rows = list.count();
        for (int k = 1; k <= columns; ++k) {
            qsizetype width = 0;
            step(116, [&] { width = std::max(width, list.headerText(k).size()); });
            for (int i = 1; i <= rows; ++i)
                step(120, [&] {
                    yieldEvents();
                    width = std::max(width, cellOf(list, i, k).size());
                });
            widths.push_back(width);
        }
    });

    progress(142, 10, writing);

    // The file is written beside its final place and replaces it only when
    // complete: a failure part-way leaves the old file as it was.
    QSaveFile file(fileName);
    const bool created = step(154, [&] {
        if (!file.open(QIODevice::WriteOnly))
            throw Failure(file.errorString() + QStringLiteral(": ") + fileName, 75);
    });
    if (!created) {
        // Reported once; nothing is written and nothing says "Done.".
        backToIdle();
        return;
    }
    auto writeLine = [&](QString& line) {
        line += QStringLiteral("\r\n");
        const QByteArray bytes = line.toUtf8();
        if (file.write(bytes) != bytes.size())
            throw Failure(file.errorString(), 57);
    };

    bool failed = false;
    failed |= !step(158, [&] {
        QString line;
        for (int k = 1; k <= list.columnTotal() && k <= int(widths.size()); ++k) {
            yieldEvents();
            appendPaddedCell(line, list.headerText(k), widths[size_t(k - 1)]);
        }
        writeLine(line);
    });

    progress(172, 20, writing);

    const int rows = list.count();
    for (int i = 1; i <= rows && !failed; ++i) {
        failed |= !step(184, [&] {
            yieldEvents();
            if (i > list.count() || !list.checked(i))
                return;
            QString line;
            for (int k = 1; k <= list.columnTotal() && k <= int(widths.size()); ++k) {
                yieldEvents();
                appendPaddedCell(line, cellOf(list, i, k), widths[size_t(k - 1)]);
            }
            if (bar) {
                const int present = std::max(1, list.count());
                bar->setPosition((double(present / 2000) + i) / present * 100.0);
                if (i % 1000 == 0)
                    bar->setBarText(writing + QStringLiteral(" (") + QString::number(i) + QLatin1Char(')'));
                yieldEvents();
            }
            writeLine(line);
        });
    }

    if (!failed)
        failed = !step(232, [&] {
            // The last lines may still sit in the buffer: a full disk says so
            // only when they are flushed, and the old file must then stay.
            if (!file.flush() || file.error() != QFileDevice::NoError)
                throw Failure(file.errorString() + QStringLiteral(": ") + fileName, 61);
            if (!file.commit())
                throw Failure(file.errorString() + QStringLiteral(": ") + fileName, 57);
        });
    if (failed) {
        file.cancelWriting();
        backToIdle();
        return;
    }
    if (bar)
        step(226, [&] {
            bar->setPosition(100);
            bar->setBarText(QStringLiteral("Done."));
            // The bar goes back to idle right after: paint "Done." now, or
            // the user never sees it. The file is complete on disk by now.
            bar->repaint();
        });
    backToIdle();
}

} // namespace larkspire
