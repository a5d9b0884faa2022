// Prints a result of 100 000 rows x 4 columns to a PDF file through the report component and the engine
// (project generation, the record walk, page breaks and the PDF output), and reports the rows per second
// and the peak memory. Usage: bench-print [rows] [pdf file] [q for landscape]; the file is deleted unless
// it is given.
#include "dataset/DB.h"
#include "dataset/MemDS.h"
#include "report/L9.h"
#include "report/L9Engine.h"
#include "report/L9Qt.h"
#include "report/ListProject.h"
#include "report/PrintResult.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    const bool keep = argc > 2;
    const std::string pdf = keep ? argv[2] : "/tmp/bench-print-" + std::to_string(getpid()) + ".pdf";
    const bool landscape = argc > 3 && argv[3][0] == 'q';

    TMemDataSet ds;
    TData* d = ds.Data();
    d->AutoInitFields = false;
    d->Fields().Clear();
    d->AddFieldDesc("EMPNO", dtInt32, 0, 0, false, false);
    d->AddFieldDesc("ENAME", dtString, 30, 0, false, false);
    d->AddFieldDesc("SAL", dtFloat, 10, 2, false, false);
    d->AddFieldDesc("HIREDATE", dtDate, 0, 0, false, false);
    d->InitFields();
    ds.LocalUpdate = true;
    ds.Open();
    for (int i = 1; i <= rows; ++i) {
        ds.Append();
        ds.Fields(0)->SetAsInteger(i);
        ds.Fields(1)->SetAsString("Mitarbeiter M\xFCller " + std::to_string(i));
        ds.Fields(2)->SetAsFloat(1000 + (i % 5000) * 1.25);
        ds.Fields(3)->SetAsDateTime(30000 + i % 15000);
        ds.Post();
    }
    ds.First();

    L9InstallQtUi();
    TDataSource source(&ds);
    TDBL9 comp;
    comp.SetDataSource(&source);
    LlSetOptionStringA(comp.Job(), LL_OPTIONSTR_EXPORTFILE, pdf);
    const std::string folder = ProgramReportFolder();
    const std::string project = ReportProjectFile(folder);
    const std::vector<TReportColumn> cols = {
        {"EMPNO", "", 60}, {"ENAME", "", 200}, {"SAL", "", 80}, {"HIREDATE", "", 90}};

    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    WriteListProject(project, folder, landscape ? 'Q' : 'H', cols);
    const int r = comp.PrintProject(0, TL9ProjectType::ListProject, project, false, LL_PRINT_FILE, 2, nullptr,
                                    PrintTitle, false, "HomeDir");
    std::remove(project.c_str());
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = double(std::clock() - c0) / CLOCKS_PER_SEC;
    if (r < 0) {
        std::fprintf(stderr, "bench-print: print failed with %d: %s\n", r,
                     LlGetLastErrorText(comp.Job()).c_str());
        return 1;
    }
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("METRIC print_rows_per_s %.0f rows/s\n", rows / s);
    // The same per second of processor time, which a loaded machine does not distort.
    std::printf("METRIC print_rows_per_cpu_s %.0f rows/s\n", rows / cpu);
    std::printf("METRIC print_peak_rss_mb %.1f MB\n", ru.ru_maxrss / 1024.0);
    if (!keep) std::remove(pdf.c_str());
    return 0;
}
