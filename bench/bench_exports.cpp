// The three exports of 100,000 ticked rows of nine cells through the real
// list view, each beside a plain loop that produces the same bytes.
#include "alloc_counter.h"
#include "bench_main.h"
#include "platform/qt_clipboard.h"
#include "quotes/quote.h"
#include "platform/xlsx_spreadsheet.h"
#include "results/column_layout.h"
#include "results/workbook.h"
#include "support/scripted_dialogs.h"
#include "window/main_window.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

using namespace larkspire;

namespace {

const int kRows = qEnvironmentVariableIntValue("LARKSPIRE_BENCH_ROWS") > 0
                      ? qEnvironmentVariableIntValue("LARKSPIRE_BENCH_ROWS")
                      : 100'000;

struct Fixture {
    QTemporaryDir dir;
    test::ScriptedDialogs dialogs;
    QtClipboard clipboard;
    QList<QUrl> opened;
    XlsxSpreadsheetApplication spreadsheet{{[] { return true; },
                                            [this](const QUrl& u) {
                                                opened << u;
                                                return true;
                                            },
                                            dir.path()}};
    std::unique_ptr<MainWindow> window;
    std::vector<QStringList> rows;

    Fixture()
    {
        Platform p;
        p.dialogs = &dialogs;
        p.settingsFolder = dir.path();
        p.clipboard = &clipboard;
        p.spreadsheet = &spreadsheet;
        p.endProgram = [] {};
        window = std::make_unique<MainWindow>(std::move(p));
        window->show();
        ListModel& list = window->resultsList();
        // The numbers the formatted figures show, as a run leaves them.
        const QStringList raws{QString(), QString(), QString(), QString(), QString(), QStringLiteral("84359936"),
                               QStringLiteral("88312465"), QStringLiteral("2415632670720"), QString()};
        std::vector<std::optional<CellNumber>> numbers(9);
        for (int i = 0; i < kRows; ++i) {
            const QStringList cells{QStringLiteral("Company number %1 Inc. ").arg(i), QStringLiteral("145.37"),
                                    QStringLiteral("144.9"),   QStringLiteral("146.83"),
                                    QStringLiteral("143.1"),   QStringLiteral("84,359,936.00"),
                                    QStringLiteral("88,312,465.00"), QStringLiteral("2415.63B"),
                                    QStringLiteral("144.84")};
            rows.push_back(cells);
            list.add(cells[0]);
            for (int k = 1; k < 9; ++k)
                list.setSubItem(i + 1, k, cells[k]);
            for (int k = 1; k < 9; ++k) {
                if (i == 0)
                    numbers[size_t(k)] = figureNumber(figureAt(k).display, cells[k], raws[k]);
                list.setSubItemCell(i + 1, k, Cell{cells[k], numbers[size_t(k)], std::nullopt, false, true});
            }
            list.setData(list.index(i, 0), Qt::Checked, Qt::CheckStateRole);
        }
    }
    std::vector<qsizetype> widths(bool withHeaders) const
    {
        std::vector<qsizetype> w(9, 0);
        for (int k = 0; k < 9 && withHeaders; ++k)
            w[size_t(k)] = window->resultsList().headerText(k + 1).size();
        for (const QStringList& r : rows)
            for (int k = 0; k < 9; ++k)
                w[size_t(k)] = std::max(w[size_t(k)], r[k].size());
        return w;
    }
};

// Made once for all benchmarks and gone before the application is.
std::unique_ptr<Fixture> g_fixture;
Fixture& fixture()
{
    if (!g_fixture) {
        g_fixture = std::make_unique<Fixture>();
        qAddPostRoutine([] { g_fixture.reset(); });
    }
    return *g_fixture;
}

template <class F> void measure(benchmark::State& state, F&& work)
{
    long long peak = 0;
    for (auto _ : state)
        peak = std::max(peak, bench::peakExtraBytes(work));
    state.counters["peak_extra_MB"] = double(peak) / 1e6;
}

void BM_TextExport(benchmark::State& state)
{
    Fixture& f = fixture();
    const QString path = f.dir.filePath(QStringLiteral("export.txt"));
    measure(state, [&] { f.window->SaveListviewProperlySpaced(f.window->controls().resultsView, path, f.window->controls().progressBar); });
    state.counters["file_MB"] = QFileInfo(path).size() / 1e6;
}

void BM_TextPlainLoop(benchmark::State& state)
{
    Fixture& f = fixture();
    const QString path = f.dir.filePath(QStringLiteral("plain.txt"));
    measure(state, [&] {
        const auto w = f.widths(true);
        QFile out(path);
        out.open(QIODevice::WriteOnly);
        QString line;
        for (int k = 0; k < 9; ++k)
            appendPaddedCell(line, f.window->resultsList().headerText(k + 1), w[size_t(k)]);
        out.write((line + QStringLiteral("\r\n")).toUtf8());
        for (const QStringList& r : f.rows) {
            line.clear();
            for (int k = 0; k < 9; ++k)
                appendPaddedCell(line, r[k], w[size_t(k)]);
            out.write((line + QStringLiteral("\r\n")).toUtf8());
        }
    });
}

void BM_ClipboardCopy(benchmark::State& state)
{
    Fixture& f = fixture();
    measure(state, [&] { f.window->CopyListviewToClipboard(f.window->controls().resultsView); });
    state.counters["text_MB"] = QGuiApplication::clipboard()->text().size() * 2 / 1e6;
}

void BM_ClipboardPlainLoop(benchmark::State& state)
{
    Fixture& f = fixture();
    measure(state, [&] {
        const auto w = f.widths(false);
        QString text;
        for (const QStringList& r : f.rows) {
            QString line;
            for (int k = 0; k < 9; ++k)
                appendPaddedCell(line, r[k], w[size_t(k)]);
            finishClipboardLine(line);
            text += line;
        }
        QGuiApplication::clipboard()->clear();
        QGuiApplication::clipboard()->setText(text);
    });
}

void BM_SpreadsheetExport(benchmark::State& state)
{
    Fixture& f = fixture();
    measure(state, [&] { f.window->saveResultsAsWorkbook(); });
    if (f.opened.isEmpty())
        state.SkipWithError("no workbook was written");
    else
        state.counters["file_MB"] = QFileInfo(f.opened.last().toLocalFile()).size() / 1e6;
    for (const QUrl& u : f.opened)
        QFile::remove(u.toLocalFile());
    f.opened.clear();
}

void BM_SpreadsheetPlainLoop(benchmark::State& state)
{
    Fixture& f = fixture();
    const QString path = f.dir.filePath(QStringLiteral("plain.xlsx"));
    measure(state, [&] {
        SheetCells cells;
        for (int k = 0; k < 9; ++k)
            cells.set(1, k + 1, f.window->resultsList().headerText(k + 1));
        for (size_t r = 0; r < f.rows.size(); ++r)
            for (int k = 0; k < 9; ++k)
                cells.set(int(r) + 2, k + 1, f.rows[r][k]);
        cells.fitColumns();
        writeXlsx(cells, path);
    });
}

} // namespace

BENCHMARK(BM_TextExport)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TextPlainLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ClipboardCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ClipboardPlainLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SpreadsheetExport)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SpreadsheetPlainLoop)->Unit(benchmark::kMillisecond)->UseRealTime();

LARKSPIRE_BENCHMARK_MAIN_WITH_APP()
