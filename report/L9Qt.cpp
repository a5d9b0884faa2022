#include "report/L9Qt.h"

#include "dataset/Cp1252.h"
#include "report/L9.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRawFont>
#include <QScrollArea>
#include <QShortcut>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace {

QString Q(const std::string& s1252) {
    return QString::fromStdU16String(cp1252::ToUtf16(s1252));
}

std::string S(const QString& s) {
    return cp1252::FromUtf16(s.toStdU16String());
}

QColor Color(uint32_t rgb) {
    return QColor(int((rgb >> 16) & 0xFF), int((rgb >> 8) & 0xFF), int(rgb & 0xFF));
}

QFont Font(const TL9Font& f, double scale) {
    QFont font(Q(f.Name));
    font.setPointSizeF(L9ScaledFontSize(f.SizePt, scale));
    font.setBold(f.Bold);
    font.setItalic(f.Italic);
    font.setUnderline(f.Underline);
    font.setStrikeOut(f.Strikeout);
    return font;
}

QPageLayout PageLayout(const TL9Document& doc) {
    const TL9Layout& l = doc.Layout;
    const double w = std::min(l.PaperWidth, l.PaperHeight) / 1000.0;
    const double h = std::max(l.PaperWidth, l.PaperHeight) / 1000.0;
    QPageSize size(QSizeF(w, h), QPageSize::Millimeter, QString(), QPageSize::FuzzyOrientationMatch);
    return QPageLayout(size, l.Landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

// Draws one line of cells with their fonts, grounds, separators and elided texts.
struct TLinePainter {
    QPainter& p;
    double k; // device pixels per 1/1000 mm
    double scale;

    void Draw(const std::vector<TL9Cell>& cells, const std::vector<double>& xs, const std::vector<double>& ws,
              const std::vector<QFont>& fonts, const std::vector<QFontMetricsF>& metrics,
              const std::vector<QRawFont>& raws, double y, double h, const std::string* texts) {
        for (size_t i = 0; i < cells.size(); ++i) {
            const TL9Cell& c = cells[i];
            const QRectF r(xs[i] * k, y * k, ws[i] * k, h * k);
            if (c.Fill) p.fillRect(r, Color(c.BkColor));
            const QRectF tr =
                r.adjusted(c.PadLeft * scale * k, c.PadTop * k, -c.PadRight * scale * k, -c.PadBottom * k);
            QString text = Q(texts[i]);
            // A line holds a few hundred characters at most; a long memo is cut before it is measured.
            if (text.size() > 400) text.truncate(400);
            if (!text.isEmpty() && tr.width() > 0) {
                const QFontMetricsF& fm = metrics[i];
                const QRawFont& raw = raws[i];
                // Glyphs straight from the font's character map with their advances: a table cell needs no
                // shaping. Texts with a character the font lacks, and texts too wide for the cell, take the
                // text engine's way (font fallback, eliding).
                QList<quint32> glyphs = raw.isValid() ? raw.glyphIndexesForString(text) : QList<quint32>();
                const bool direct = !glyphs.isEmpty() && !glyphs.contains(0u);
                QList<QPointF> advances;
                double advance = 0;
                if (direct) {
                    advances = raw.advancesForGlyphIndexes(glyphs);
                    for (const QPointF& a : advances)
                        advance += a.x();
                } else {
                    advance = fm.horizontalAdvance(text);
                }
                bool elided = false;
                if (advance > tr.width()) {
                    text = fm.elidedText(text, Qt::ElideRight, tr.width());
                    advance = fm.horizontalAdvance(text);
                    elided = true;
                }
                double x = tr.left();
                if (c.Align == 1) x += (tr.width() - advance) / 2;
                if (c.Align == 2) x += tr.width() - advance;
                const double base = tr.top() + (tr.height() - fm.height()) / 2 + fm.ascent();
                // Font and colour change only between cells that differ: every change is an operator in
                // the PDF stream.
                if (&fonts[i] != font_ && (!font_ || *font_ != fonts[i])) p.setFont(fonts[i]);
                font_ = &fonts[i];
                if (c.Font.Color != color_) p.setPen(Color(c.Font.Color));
                color_ = c.Font.Color;
                if (direct && !elided) {
                    QList<QPointF> positions;
                    positions.reserve(advances.size());
                    double pos = 0;
                    for (const QPointF& a : advances) {
                        positions.append(QPointF(pos, 0));
                        pos += a.x();
                    }
                    QGlyphRun run;
                    run.setRawFont(raw);
                    run.setGlyphIndexes(glyphs);
                    run.setPositions(positions);
                    p.drawGlyphRun(QPointF(x, base), run);
                } else {
                    p.drawText(QPointF(x, base), text);
                }
            }
        }
    }

    // The column separators of a line, from top to bottom of the lines drawn.
    void Separators(const std::vector<TL9Cell>& cells, const std::vector<double>& xs,
                    const std::vector<double>& ws, double top, double bottom) {
        if (bottom <= top) return;
        p.setPen(QPen(QColor(160, 160, 160), 0));
        color_ = 0xFFFFFFFFu;
        for (size_t i = 0; i + 1 < cells.size(); ++i)
            if (cells[i].Separator)
                p.drawLine(QPointF((xs[i] + ws[i]) * k, top * k), QPointF((xs[i] + ws[i]) * k, bottom * k));
    }

    void Reset() {
        font_ = nullptr;
        color_ = 0xFFFFFFFFu;
    }

    const QFont* font_ = nullptr;
    uint32_t color_ = 0xFFFFFFFFu; // no colour: the first text sets its pen
};

// ---- The options dialog ----

class TOptionsDialog : public QDialog {
public:
    TOptionsDialog(QWidget* parent, const QString& title, const TL9PrintChoice& choice) : QDialog(parent) {
        setObjectName("L9OptionsDialog");
        setWindowTitle(title.isEmpty() ? QStringLiteral("Drucken") : title);
        auto* box = new QGroupBox(QStringLiteral("Ausgabe auf"), this);
        printer_ = new QRadioButton(QStringLiteral("&Drucker"), box);
        printer_->setObjectName("RbPrinter");
        preview_ = new QRadioButton(QStringLiteral("&Vorschau"), box);
        preview_->setObjectName("RbPreview");
        file_ = new QRadioButton(QStringLiteral("PDF-&Datei:"), box);
        file_->setObjectName("RbFile");
        fileName_ = new QLineEdit(Q(choice.FileName), box);
        fileName_->setObjectName("EdFile");
        fileName_->setAccessibleName(QStringLiteral("Name der PDF-Datei"));
        fileName_->setMinimumWidth(280);
        auto* browse = new QToolButton(box);
        browse->setObjectName("BtnBrowse");
        browse->setText(QStringLiteral("..."));
        browse->setAccessibleName(QStringLiteral("PDF-Datei w\u00e4hlen"));
        copies_ = new QSpinBox(box);
        copies_->setObjectName("SpCopies");
        copies_->setRange(1, 999);
        copies_->setValue(std::max(1, choice.Copies));
        copies_->setEnabled(choice.CopiesSupported);
        auto* grid = new QVBoxLayout(box);
        auto* row1 = new QHBoxLayout;
        row1->addWidget(printer_);
        row1->addStretch();
        row1->addWidget(new QLabel(QStringLiteral("Exemplare:"), box));
        row1->addWidget(copies_);
        grid->addLayout(row1);
        grid->addWidget(preview_);
        auto* row3 = new QHBoxLayout;
        row3->addWidget(file_);
        row3->addWidget(fileName_, 1);
        row3->addWidget(browse);
        grid->addLayout(row3);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->setObjectName("Buttons");
        buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Drucken"));
        buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
        auto* lay = new QVBoxLayout(this);
        lay->addWidget(box);
        lay->addWidget(buttons);
        switch (choice.Destination) {
        case LL_DEST_PRINTER:
            printer_->setChecked(true);
            break;
        case LL_DEST_FILE:
            file_->setChecked(true);
            break;
        default:
            preview_->setChecked(true);
        }
        connect(browse, &QToolButton::clicked, this, [this]() {
            const QString f = QFileDialog::getSaveFileName(
                this, QStringLiteral("PDF-Datei"), fileName_->text(), QStringLiteral("PDF-Dateien (*.pdf)"));
            if (!f.isEmpty()) {
                fileName_->setText(f);
                file_->setChecked(true);
            }
        });
        connect(fileName_, &QLineEdit::textEdited, this, [this]() { file_->setChecked(true); });
        connect(buttons, &QDialogButtonBox::accepted, this, [this]() {
            if (file_->isChecked() && fileName_->text().trimmed().isEmpty()) {
                QMessageBox::information(this, windowTitle(),
                                         QStringLiteral("Bitte den Namen der PDF-Datei angeben."));
                return;
            }
            accept();
        });
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    }

    void Read(TL9PrintChoice& c) const {
        c.Destination = printer_->isChecked() ? LL_DEST_PRINTER
                        : file_->isChecked()  ? LL_DEST_FILE
                                              : LL_DEST_PREVIEW;
        c.FileName = S(fileName_->text().trimmed());
        if (c.Destination == LL_DEST_FILE && !c.FileName.empty() &&
            !QString::fromStdString(c.FileName).endsWith(".pdf", Qt::CaseInsensitive))
            c.FileName += ".pdf";
        c.Copies = copies_->value();
    }

private:
    QRadioButton *printer_, *preview_, *file_;
    QLineEdit* fileName_;
    QSpinBox* copies_;
};

// ---- The progress box ----

class TProgressBox : public QDialog {
public:
    TProgressBox(QWidget* parent, const QString& title) : QDialog(parent) {
        setObjectName("L9ProgressBox");
        setWindowTitle(title.isEmpty() ? QStringLiteral("Drucken") : title);
        setWindowModality(Qt::ApplicationModal);
        label_ = new QLabel(this);
        label_->setObjectName("LblPrinter");
        label_->setMinimumWidth(300);
        bar_ = new QProgressBar(this);
        bar_->setObjectName("PbProgress");
        bar_->setRange(0, 100);
        auto* cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
        cancel->setObjectName("BtnCancel");
        auto* lay = new QVBoxLayout(this);
        lay->addWidget(new QLabel(QStringLiteral("Ausgabe auf:"), this));
        lay->addWidget(label_);
        lay->addWidget(bar_);
        auto* row = new QHBoxLayout;
        row->addStretch();
        row->addWidget(cancel);
        lay->addLayout(row);
        connect(cancel, &QPushButton::clicked, this, [this]() { cancelled_ = true; });
    }
    // Cancel by the window's close button too.
    void reject() override { cancelled_ = true; }

    bool Update(const QString& text, int percent) {
        if (!isVisible()) show();
        if (label_->text() != text) label_->setText(text);
        bar_->setValue(percent);
        // Events are looked at on the first call and then every 50 ms, so that Cancel answers quickly
        // without costing the print its speed.
        if (!clock_.isValid() || clock_.elapsed() >= 50) {
            QCoreApplication::processEvents();
            clock_.start();
        }
        return !cancelled_;
    }

private:
    QLabel* label_;
    QProgressBar* bar_;
    QElapsedTimer clock_;
    bool cancelled_ = false;
};

// ---- The preview window ----

class TPreview : public QDialog {
public:
    TPreview(QWidget* parent, const TL9Document& doc, const QString& title) : QDialog(parent), doc_(doc) {
        setObjectName("L9Preview");
        setWindowTitle(QStringLiteral("Vorschau") +
                       (title.isEmpty() ? QString() : QStringLiteral(" - ") + title));
        auto mk = [this](const char* name, const QString& text, const QString& access) {
            auto* b = new QPushButton(text, this);
            b->setObjectName(name);
            b->setAccessibleName(access);
            return b;
        };
        first_ = mk("BtnFirst", QStringLiteral("|<"), QStringLiteral("Erste Seite"));
        prior_ = mk("BtnPrior", QStringLiteral("<"), QStringLiteral("Vorige Seite"));
        next_ = mk("BtnNext", QStringLiteral(">"), QStringLiteral("N\u00e4chste Seite"));
        last_ = mk("BtnLast", QStringLiteral(">|"), QStringLiteral("Letzte Seite"));
        auto* print = mk("BtnPrint", QStringLiteral("Drucken..."), QStringLiteral("Drucken"));
        auto* pdf = mk("BtnPdf", QStringLiteral("Als PDF speichern..."), QStringLiteral("Als PDF speichern"));
        auto* close = mk("BtnClose", QStringLiteral("Schlie\u00dfen"), QStringLiteral("Schlie\u00dfen"));
        pageLabel_ = new QLabel(this);
        pageLabel_->setObjectName("LblPage");
        pageLabel_->setMinimumWidth(110);
        pageLabel_->setAlignment(Qt::AlignCenter);
        view_ = new QLabel;
        view_->setObjectName("PageView");
        view_->setAlignment(Qt::AlignCenter);
        auto* scroll = new QScrollArea(this);
        scroll_ = scroll;
        scroll->setObjectName("PageScroll");
        scroll->setWidget(view_);
        scroll->setWidgetResizable(true);
        scroll->setBackgroundRole(QPalette::Dark);
        zoom_ = new QComboBox(this);
        zoom_->setObjectName("CbZoom");
        zoom_->setAccessibleName(QStringLiteral("Zoom"));
        zoom_->addItems(
            {QStringLiteral("Ganze Seite"), QStringLiteral("Seitenbreite"), QStringLiteral("100 %")});
        auto* bar = new QHBoxLayout;
        for (QWidget* w : {static_cast<QWidget*>(first_), static_cast<QWidget*>(prior_)})
            bar->addWidget(w);
        bar->addWidget(pageLabel_);
        bar->addWidget(next_);
        bar->addWidget(last_);
        bar->addWidget(zoom_);
        bar->addStretch();
        bar->addWidget(print);
        bar->addWidget(pdf);
        bar->addWidget(close);
        auto* lay = new QVBoxLayout(this);
        lay->addLayout(bar);
        lay->addWidget(scroll, 1);
        connect(first_, &QPushButton::clicked, this, [this]() { Show(0); });
        connect(prior_, &QPushButton::clicked, this, [this]() { Show(page_ - 1); });
        connect(next_, &QPushButton::clicked, this, [this]() { Show(page_ + 1); });
        connect(last_, &QPushButton::clicked, this, [this]() { Show(int(doc_.Pages.size()) - 1); });
        connect(zoom_, &QComboBox::currentIndexChanged, this, [this]() { Render(); });
        connect(print, &QPushButton::clicked, this, [this]() { Print(); });
        connect(pdf, &QPushButton::clicked, this, [this]() { SavePdf(); });
        connect(close, &QPushButton::clicked, this, &QDialog::accept);
        new QShortcut(QKeySequence(Qt::Key_PageDown), this, [this]() { Show(page_ + 1); });
        new QShortcut(QKeySequence(Qt::Key_PageUp), this, [this]() { Show(page_ - 1); });
        resize(900, 1000);
        Show(0);
    }

    int Page() const { return page_; }

protected:
    void resizeEvent(QResizeEvent* e) override {
        QDialog::resizeEvent(e);
        Render();
    }

private:
    void Show(int page) {
        const int n = int(doc_.Pages.size());
        page_ = std::clamp(page, 0, std::max(0, n - 1));
        pageLabel_->setText(
            QStringLiteral("Seite %1 von %2").arg(page_ + doc_.FirstPage).arg(n + doc_.FirstPage - 1));
        first_->setEnabled(page_ > 0);
        prior_->setEnabled(page_ > 0);
        next_->setEnabled(page_ + 1 < n);
        last_->setEnabled(page_ + 1 < n);
        Render();
    }

    // The page at the zoom chosen: the whole page or its width in the window, or its size on paper.
    void Render() {
        if (!zoom_) return;
        const int n = int(doc_.Pages.size());
        const double inchW = doc_.Layout.PaperWidth / 25400.0;
        const double inchH = doc_.Layout.PaperHeight / 25400.0;
        const QSize room = scroll_->viewport()->size() - QSize(16, 16);
        double dpi = logicalDpiX();
        if (zoom_->currentIndex() == 0) dpi = std::min(room.width() / inchW, room.height() / inchH);
        if (zoom_->currentIndex() == 1) dpi = room.width() / inchW;
        dpi = std::clamp(dpi, 20.0, 300.0);
        const int w = int(doc_.Layout.PaperWidth / 25400.0 * dpi);
        const int h = int(doc_.Layout.PaperHeight / 25400.0 * dpi);
        QImage img(w, h, QImage::Format_RGB32);
        img.setDotsPerMeterX(int(dpi / 0.0254));
        img.setDotsPerMeterY(int(dpi / 0.0254));
        img.fill(Qt::white);
        if (n > 0) {
            QPainter p(&img);
            p.setRenderHint(QPainter::Antialiasing);
            p.setRenderHint(QPainter::TextAntialiasing);
            L9PaintPage(p, doc_, page_);
        }
        view_->setPixmap(QPixmap::fromImage(img));
    }

    void Print() {
        QPrinter printer(QPrinter::HighResolution);
        printer.setPageLayout(PageLayout(doc_));
        printer.setFullPage(true);
        QPrintDialog dlg(&printer, this);
        if (dlg.exec() != QDialog::Accepted) return;
        QPainter p;
        if (!p.begin(&printer)) {
            QMessageBox::warning(this, windowTitle(),
                                 QStringLiteral("Der Drucker kann nicht angesprochen werden."));
            return;
        }
        for (int i = 0; i < int(doc_.Pages.size()); ++i) {
            if (i > 0) printer.newPage();
            L9PaintPage(p, doc_, i);
        }
        p.end();
    }

    void SavePdf() {
        const QString f = QFileDialog::getSaveFileName(this, QStringLiteral("Als PDF speichern"), QString(),
                                                       QStringLiteral("PDF-Dateien (*.pdf)"));
        if (f.isEmpty()) return;
        if (!L9WritePdf(doc_, f))
            QMessageBox::warning(this, windowTitle(),
                                 QStringLiteral("Die Datei %1 kann nicht geschrieben werden.").arg(f));
    }

    const TL9Document& doc_;
    int page_ = 0;
    QPushButton *first_, *prior_, *next_, *last_;
    QLabel* pageLabel_;
    QLabel* view_;
    QScrollArea* scroll_ = nullptr;
    QComboBox* zoom_ = nullptr;
};

// ---- The UI ----

class TQtUi : public IL9Ui {
public:
    void Message(void* parent, const std::string& text, const std::string& caption) override {
        QMessageBox::warning(static_cast<QWidget*>(parent), Q(caption), Q(text));
    }

    bool OptionsDialog(void* parent, const std::string& title, TL9PrintChoice& choice) override {
        QWidget* w = static_cast<QWidget*>(parent);
        TOptionsDialog dlg(w, Q(title), choice);
        const bool ok = dlg.exec() == QDialog::Accepted;
        if (ok) dlg.Read(choice);
        if (ok && choice.Destination == LL_DEST_PRINTER) {
            printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
            printer_->setCopyCount(choice.Copies);
            QPrintDialog pd(printer_.get(), w);
            if (pd.exec() != QDialog::Accepted) return false;
            choice.PrinterName = S(printer_->printerName());
            choice.Copies = printer_->copyCount();
        }
        return ok;
    }

    // The box shows with the first progress, after the options dialog.
    void ProgressOpen(void* parent, const std::string& title) override {
        box_ = std::make_unique<TProgressBox>(static_cast<QWidget*>(parent), Q(title));
    }

    bool ProgressUpdate(const std::string& text, int percent) override {
        return box_ ? box_->Update(Q(text), percent) : true;
    }

    void ProgressClose() override { box_.reset(); }

    int Output(const TL9Document& doc, const TL9PrintChoice& choice, void* parent) override {
        if (choice.Destination == LL_DEST_FILE)
            return L9WritePdf(doc, Q(choice.FileName)) ? LL_OK : Fail(parent, Q(choice.FileName));
        if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer_->setPageLayout(PageLayout(doc));
        printer_->setFullPage(true);
        printer_->setDocName(QStringLiteral("Vestra"));
        QPainter p;
        if (!p.begin(printer_.get())) return Fail(parent, Q(choice.PrinterName));
        for (int i = 0; i < int(doc.Pages.size()); ++i) {
            if (i > 0) printer_->newPage();
            L9PaintPage(p, doc, i);
        }
        p.end();
        return LL_OK;
    }

    int Preview(const TL9Document& doc, void* parent, const std::string& title) override {
        TPreview dlg(static_cast<QWidget*>(parent), doc, Q(title));
        dlg.exec();
        return LL_OK;
    }

private:
    int Fail(void* parent, const QString& where) {
        QMessageBox::warning(static_cast<QWidget*>(parent), QStringLiteral("Druckfehler"),
                             QStringLiteral("Die Ausgabe nach %1 ist fehlgeschlagen.").arg(where));
        return LL_ERR_OUTPUT;
    }

    std::unique_ptr<TProgressBox> box_;
    std::unique_ptr<QPrinter> printer_;
};

} // namespace

void L9InstallQtUi() {
    static TQtUi ui;
    if (!L9Ui()) L9SetUi(&ui);
    if (!TL9::ShowMessage)
        TL9::ShowMessage = [](const std::string& text, const std::string& caption) {
            QMessageBox::information(QApplication::activeWindow(), Q(caption), Q(text));
        };
}

void L9PaintPage(QPainter& p, const TL9Document& doc, int pageIndex) {
    if (pageIndex < 0 || pageIndex >= int(doc.Pages.size())) return;
    const TL9Layout& l = doc.Layout;
    const TL9PageGeometry& g = doc.Geometry;
    const TL9Page& page = doc.Pages[size_t(pageIndex)];
    const double k = p.device()->logicalDpiX() / 25400.0;
    TLinePainter lp{p, k, g.Scale};

    auto prepare = [&](const std::vector<TL9Cell>& cells, std::vector<QFont>& fonts,
                       std::vector<QFontMetricsF>& fm, std::vector<QRawFont>& raws) {
        for (const TL9Cell& c : cells) {
            fonts.push_back(QFont(Font(c.Font, g.Scale), p.device()));
            fm.emplace_back(fonts.back(), p.device());
            raws.push_back(QRawFont::fromFont(fonts.back()));
        }
    };
    std::vector<QFont> hf, df;
    std::vector<QFontMetricsF> hm, dm;
    std::vector<QRawFont> hr, dr;
    prepare(l.HeaderLine, hf, hm, hr);
    prepare(l.DataLine, df, dm, dr);

    double y = g.Top;
    const double tableTop = y;
    if (!l.HeaderLine.empty() && page.Header.size() == l.HeaderLine.size()) {
        lp.Draw(l.HeaderLine, g.HeaderX, g.HeaderWidth, hf, hm, hr, y, g.HeaderHeight, page.Header.data());
        lp.Separators(l.HeaderLine, g.HeaderX, g.HeaderWidth, y, y + g.HeaderHeight);
        y += g.HeaderHeight;
        p.setPen(QPen(QColor(120, 120, 120), 0));
        p.drawLine(QPointF(g.Left * k, y * k), QPointF((g.HeaderX.back() + g.HeaderWidth.back()) * k, y * k));
    }
    const size_t width = l.DataLine.size();
    for (int r = 0; r < page.Rows && width > 0; ++r) {
        lp.Draw(l.DataLine, g.ColumnX, g.ColumnWidth, df, dm, dr, y, g.DataHeight,
                &page.Cells[size_t(r) * width]);
        y += g.DataHeight;
    }
    // A frame around the table.
    double right = g.Left;
    if (!g.ColumnX.empty()) right = std::max(right, g.ColumnX.back() + g.ColumnWidth.back());
    if (!g.HeaderX.empty()) right = std::max(right, g.HeaderX.back() + g.HeaderWidth.back());
    if (right > g.Left && y > tableTop) {
        p.setPen(QPen(QColor(120, 120, 120), 0));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(g.Left * k, tableTop * k, (right - g.Left) * k, (y - tableTop) * k));
    }

    if (g.FooterHeight > 0) {
        const int pages = int(doc.Pages.size());
        const int number = pageIndex + doc.FirstPage;
        const double fh = L9FontLineHeight(l.FooterFont.SizePt);
        const double fy = g.Top + g.PrintableHeight - fh;
        p.setPen(QPen(QColor(160, 160, 160), 0));
        p.drawLine(QPointF(g.Left * k, (fy - 1000) * k),
                   QPointF((g.Left + g.PrintableWidth) * k, (fy - 1000) * k));
        p.setFont(Font(l.FooterFont, 1.0));
        p.setPen(Color(l.FooterFont.Color));
        const QRectF fr(g.Left * k, fy * k, g.PrintableWidth * k, fh * k);
        const int lastPage = pages + doc.FirstPage - 1;
        p.drawText(fr, Qt::AlignLeft | Qt::AlignVCenter,
                   Q(L9FooterText(l.FooterLeft, number, lastPage, doc.Date)));
        p.drawText(fr, Qt::AlignHCenter | Qt::AlignVCenter,
                   Q(L9FooterText(l.FooterCenter, number, lastPage, doc.Date)));
        p.drawText(fr, Qt::AlignRight | Qt::AlignVCenter,
                   Q(L9FooterText(l.FooterRight, number, lastPage, doc.Date)));
    }
}

bool L9WritePdf(const TL9Document& doc, const QString& fileName) {
    // Written beside the target and moved over it at the end, so that a failure leaves an older file whole.
    const QString part = fileName + QStringLiteral(".part");
    {
        QPdfWriter pdf(part);
        pdf.setResolution(600);
        pdf.setPageLayout(PageLayout(doc));
        pdf.setCreator(QStringLiteral("Vestra"));
        pdf.setTitle(QStringLiteral("Ergebnisliste"));
        QPainter p;
        if (!p.begin(&pdf)) {
            QFile::remove(part);
            return false;
        }
        for (int i = 0; i < int(doc.Pages.size()); ++i) {
            if (i > 0) pdf.newPage();
            L9PaintPage(p, doc, i);
        }
        if (!p.end()) {
            QFile::remove(part);
            return false;
        }
    }
    QFile::remove(fileName);
    if (!QFile::rename(part, fileName)) {
        QFile::remove(part);
        return false;
    }
    return true;
}
