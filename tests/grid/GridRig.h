// A grid over a query of the emulator, shown on the offscreen platform.
#pragma once

#include "dataset/DB.h"
#include "grid/QxGrid.h"
#include "grid/QxGridModel.h"
#include "tests/oracle/OraE2e.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QTest>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Counts the model tester's complaints.
inline int& ModelTestFailures() {
    static int n = 0;
    return n;
}
inline void ModelTestHandler(QtMsgType type, const QMessageLogContext& ctx, const QString& msg) {
    if (ctx.category && std::string(ctx.category) == "qt.modeltest") {
        ++ModelTestFailures();
        fprintf(stderr, "%s\n", qPrintable(msg));
    }
    (void)type;
}

struct TGridRig {
    oratest::TRig rig;
    std::unique_ptr<TOraQuery> qry;
    std::unique_ptr<TDataSource> src;
    std::unique_ptr<TQxDBGrid> grid;
    std::unique_ptr<QAbstractItemModelTester> tester;
    std::vector<std::string> errors;

    explicit TGridRig(vemu::EmuOptions o = {}) : rig(std::move(o)) {
        qInstallMessageHandler(ModelTestHandler);
        ModelTestFailures() = 0;
        qry = std::make_unique<TOraQuery>(rig.s.get());
        src = std::make_unique<TDataSource>(qry.get());
        grid = std::make_unique<TQxDBGrid>();
        tester = std::make_unique<QAbstractItemModelTester>(
            grid->model(), QAbstractItemModelTester::FailureReportingMode::Warning);
        grid->resize(700, 400);
        grid->SetDataSource(src.get());
        SetApplicationExceptionHandler([this](const std::exception& e) { errors.push_back(e.what()); });
        grid->show();
        QApplication::processEvents();
    }
    ~TGridRig() {
        EXPECT_EQ(ModelTestFailures(), 0) << "the model tester found faults";
        SetApplicationExceptionHandler(nullptr);
    }
    void Open(const std::string& sql, int fetchRows = 25) {
        qry->Close();
        qry->SetFetchRows(fetchRows);
        qry->SetSQL(sql);
        qry->Open();
        QApplication::processEvents();
    }
    void Exec(const std::string& sql) { rig.Exec(sql); }
    QString Cell(int row, int col) { return grid->model()->data(grid->model()->index(row, col)).toString(); }
    QPoint TitlePoint(int col) {
        auto* h = grid->horizontalHeader();
        return QPoint(h->sectionViewportPosition(col) + h->sectionSize(col) / 2, 8);
    }
};
