// The pattern browser window.
#include "app/FrmBrowser.h"

#include "app/PatternListModel.h"
#include "app/StickPlotView.h"
#include "common/Exceptions.h"
#include "common/Text.h"
#include "plot/PlotFiles.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

#include <sstream>

namespace norrvik {

namespace {

struct TFieldItem {
    const char* Label;
    std::optional<SearchField> Field; // nothing: the strongest lines
};
const TFieldItem kFieldItems[] = {
    {"Name", SearchField::Name},       {"Formula", SearchField::Formula}, {"Code", SearchField::Code},
    {"Author", SearchField::Author},   {"Journal", SearchField::Journal}, {"Strongest lines (d, A)", std::nullopt},
};

QString Shown(const std::string& bytes)
{
    return QString::fromStdString(Windows1252ToUtf8(bytes));
}

// The d-spacings typed for the strongest-lines search.
TLinesQuery LinesQueryOf(const QString& typed)
{
    TLinesQuery query;
    for (const QString& part : typed.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        bool number = false;
        const double d = part.toDouble(&number);
        if (!number)
            throw Exception("\"" + part.toStdString() +
                            "\" is not a d-spacing: type up to eight numbers in Angstrom, such as 3.34 4.26 1.82.");
        query.DSpacings.push_back(d);
    }
    if (query.DSpacings.size() > 8)
        throw Exception("Type at most eight d-spacings for the strongest-lines search.");
    return query;
}

QTableWidgetItem* Cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

TFrmBrowser::TFrmBrowser(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Tessaly database"));
    resize(1100, 680);
    CreateControls();
}

TFrmBrowser::~TFrmBrowser() = default;

template <typename Handler>
void TFrmBrowser::Guarded(Handler handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(error.what()));
    }
}

void TFrmBrowser::CreateControls()
{
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(CreatePatternSide());
    splitter->addWidget(CreateDetailSide());
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
}

QWidget* TFrmBrowser::CreatePatternSide()
{
    auto* side = new QWidget(this);
    cmbField = new QComboBox(side);
    for (const TFieldItem& item : kFieldItems)
        cmbField->addItem(QString::fromUtf8(item.Label));
    edtSearch = new QLineEdit(side);
    edtSearch->setPlaceholderText(QStringLiteral("Begins with... (or d-spacings: 3.34 4.26 1.82)"));
    btnSearch = new QPushButton(QStringLiteral("&Search"), side);
    btnShowAll = new QPushButton(QStringLiteral("Show &all"), side);
    lblCount = new QLabel(side);
    tblPatterns = new QTableView(side);
    tblPatterns->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblPatterns->setSelectionMode(QAbstractItemView::SingleSelection);
    tblPatterns->verticalHeader()->hide();
    // Fixed row heights and column widths: nothing is measured over all rows.
    tblPatterns->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tblPatterns->horizontalHeader()->setStretchLastSection(true);

    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(cmbField);
    searchRow->addWidget(edtSearch, 1);
    searchRow->addWidget(btnSearch);
    searchRow->addWidget(btnShowAll);
    auto* layout = new QVBoxLayout(side);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(searchRow);
    layout->addWidget(lblCount);
    layout->addWidget(tblPatterns, 1);

    connect(btnSearch, &QPushButton::clicked, this, [this] { Guarded([this] { RunSearch(); }); });
    connect(edtSearch, &QLineEdit::returnPressed, this, [this] { Guarded([this] { RunSearch(); }); });
    connect(btnShowAll, &QPushButton::clicked, this, [this] { Guarded([this] { ShowAll(); }); });
    return side;
}

QWidget* TFrmBrowser::CreateDetailSide()
{
    auto* side = new QWidget(this);
    plotView = new TStickPlotView(side);
    cmbAxis = new QComboBox(side);
    cmbAxis->addItem(QStringLiteral("against d"));
    for (const std::string& anode : AnodeNames())
        cmbAxis->addItem(QStringLiteral("against 2θ, %1 Kα1").arg(QString::fromStdString(anode)),
                         QString::fromStdString(anode));
    btnExport = new QPushButton(QStringLiteral("&Export plot..."), side);
    tblLines = new QTableWidget(0, 6, side);
    tblLines->setHorizontalHeaderLabels({QStringLiteral("d (Å)"), QStringLiteral("2θ (°)"), QStringLiteral("I (%)"),
                                         QStringLiteral("h"), QStringLiteral("k"), QStringLiteral("l")});
    tblLines->verticalHeader()->hide();
    tblLines->setEditTriggers(QAbstractItemView::NoEditTriggers);
    memText = new QPlainTextEdit(side);
    memText->setReadOnly(true);

    auto* plotRow = new QHBoxLayout;
    plotRow->addWidget(new QLabel(QStringLiteral("Plot:"), side));
    plotRow->addWidget(cmbAxis);
    plotRow->addStretch(1);
    plotRow->addWidget(btnExport);
    auto* lower = new QHBoxLayout;
    lower->addWidget(tblLines, 1);
    lower->addWidget(memText, 1);
    auto* layout = new QVBoxLayout(side);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plotView, 3);
    layout->addLayout(plotRow);
    layout->addLayout(lower, 2);

    connect(cmbAxis, &QComboBox::currentIndexChanged, this, [this] { AxisChosen(); });
    connect(btnExport, &QPushButton::clicked, this, [this] { Guarded([this] { ExportPlot(); }); });
    return side;
}

void TFrmBrowser::OpenDatabase(const std::string& folder)
{
    CloseDatabase();
    search_ = std::make_unique<TIndexSearch>(folder);
    list_ = std::make_unique<TPatternList>(*search_);
    model_ = new TPatternListModel(*list_, this);
    tblPatterns->setModel(model_);
    tblPatterns->setColumnWidth(TPatternListModel::ColumnCode, 100);
    tblPatterns->setColumnWidth(TPatternListModel::ColumnNames, 170);
    tblPatterns->setColumnWidth(TPatternListModel::ColumnFormula, 140);
    tblPatterns->setSortingEnabled(true);
    tblPatterns->sortByColumn(TPatternListModel::ColumnCode, Qt::AscendingOrder);
    connect(tblPatterns->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { Guarded([&] { SelectRow(current.row()); }); });
    setWindowTitle(QStringLiteral("Tessaly database %1").arg(QString::fromStdString(folder)));
    ListChanged(QStringLiteral("all patterns"));
}

void TFrmBrowser::CloseDatabase()
{
    tblPatterns->setModel(nullptr);
    delete model_;
    model_ = nullptr;
    list_.reset();
    search_.reset();
    plotView->SetPattern({});
    tblLines->setRowCount(0);
    memText->clear();
    lblCount->clear();
}

void TFrmBrowser::ListChanged(const QString& what)
{
    lblCount->setText(QStringLiteral("%1 %2 (%3)")
                          .arg(list_->RowCount())
                          .arg(list_->RowCount() == 1 ? QStringLiteral("pattern") : QStringLiteral("patterns"))
                          .arg(what));
    if (list_->RowCount() > 0)
        tblPatterns->selectRow(0);
    else
        plotView->SetPattern({});
}

void TFrmBrowser::ShowRecords(std::int32_t first, std::int32_t last)
{
    if (!list_)
        return;
    model_->BeginChange();
    list_->ShowRecords(first, last);
    model_->EndChange();
    tblPatterns->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    ListChanged(QStringLiteral("added by the last conversion"));
}

std::int32_t TFrmBrowser::PatternCount()
{
    return search_ ? search_->PatternCount() : 0;
}

void TFrmBrowser::ShowAll()
{
    if (!list_)
        return;
    model_->BeginChange();
    list_->ShowAll();
    model_->EndChange();
    ListChanged(QStringLiteral("all patterns"));
}

void TFrmBrowser::RunSearch()
{
    if (!list_)
        return;
    const TFieldItem& item = kFieldItems[std::max(0, cmbField->currentIndex())];
    const QString typed = edtSearch->text().trimmed();
    const std::vector<TSearchHit> hits =
        item.Field ? search_->SearchText(*item.Field, Utf8ToWindows1252(typed.toStdString()))
                   : search_->SearchLines(LinesQueryOf(typed));
    model_->BeginChange();
    list_->ShowHits(hits);
    model_->EndChange();
    // The search's own order (by text, or best match first) until a column is clicked.
    tblPatterns->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    ListChanged(QStringLiteral("%1: %2").arg(QString::fromUtf8(item.Label), typed));
}

void TFrmBrowser::SelectRow(int row)
{
    if (!list_ || row < 0 || static_cast<std::size_t>(row) >= list_->RowCount())
        return;
    TReferencePattern& pattern = search_->Pattern(list_->RecordAt(static_cast<std::size_t>(row)));
    plotView->SetPattern(StickPatternOf(pattern));
    ShowLines(pattern);
    ShowTexts(pattern);
}

void TFrmBrowser::ShowLines(const TReferencePattern& pattern)
{
    const TStickPattern sticks = StickPatternOf(pattern);
    tblLines->setRowCount(static_cast<int>(sticks.Sticks.size()));
    for (int i = 0; i < static_cast<int>(sticks.Sticks.size()); ++i) {
        const TStick& stick = sticks.Sticks[static_cast<std::size_t>(i)];
        const std::optional<double> angle =
            plotView->Axis().Wavelength ? TwoThetaOf(stick.D, *plotView->Axis().Wavelength) : std::nullopt;
        tblLines->setItem(i, 0, Cell(QString::number(stick.D, 'f', 5)));
        tblLines->setItem(i, 1, Cell(angle ? QString::number(*angle, 'f', 3) : QString()));
        tblLines->setItem(i, 2, Cell(QString::number(stick.Intensity, 'f', 1)));
        for (int k = 0; k < 3; ++k)
            tblLines->setItem(i, 3 + k,
                              Cell(stick.HasHkl ? QString::number(k == 0 ? stick.H : k == 1 ? stick.K : stick.L)
                                                : QString()));
    }
    tblLines->resizeColumnsToContents();
}

void TFrmBrowser::ShowTexts(const TReferencePattern& pattern)
{
    QStringList text;
    text << QStringLiteral("Code: %1").arg(Shown(pattern.GetReferenceCode()));
    for (int i = 0; i < pattern.GetNameCount(); ++i)
        text << QStringLiteral("Name (%1): %2").arg(QChar::fromLatin1(pattern.GetNameAt(i).TypeLetter))
                    .arg(Shown(pattern.GetNameAt(i).Text));
    text << QStringLiteral("Formula: %1").arg(Shown(pattern.GetFormulaLine()));
    for (const TextList list : {TextList::Comments, TextList::CodedComments, TextList::References,
                                TextList::SupplementLines})
        for (const std::string& line : pattern.GetTextList(list))
            text << Shown(line);
    memText->setPlainText(text.join(QLatin1Char('\n')));
}

void TFrmBrowser::AxisChosen()
{
    const QString anode = cmbAxis->currentData().toString();
    plotView->SetAxis(anode.isEmpty() ? TPlotAxis{} : AnodeAxis(anode.toStdString()).value_or(TPlotAxis{}));
    Guarded([this] { SelectRow(tblPatterns->currentIndex().row()); });
}

void TFrmBrowser::ExportPlot()
{
    if (plotView->Pattern().Title.empty())
        return;
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export plot"), QString(),
                                                      QStringLiteral("SVG image (*.svg);;PNG image (*.png)"));
    if (path.isEmpty())
        return;
    WritePlotFile(LayOutStickPlot(plotView->Pattern(), plotView->Axis()), path.toStdString());
}

void TFrmBrowser::closeEvent(QCloseEvent* event)
{
    CloseDatabase();
    event->accept();
}

void ShowDatabaseBrowser(QWidget* parent, TFrmBrowser*& browser, const std::string& folder, long added)
{
    if (browser == nullptr)
        browser = new TFrmBrowser(parent);
    browser->OpenDatabase(folder);
    if (added > 0) {
        const std::int32_t count = browser->PatternCount();
        browser->ShowRecords(count - static_cast<std::int32_t>(std::min<long>(added, count)) + 1, count);
    }
    browser->show();
    browser->raise();
    browser->activateWindow();
}

} // namespace norrvik
