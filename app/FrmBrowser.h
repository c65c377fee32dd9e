// The pattern browser: a window on one Tessaly database, opened read-only
// under the shared folder lock. It lists the patterns (code, names, formula;
// sortable; rows read only when shown), searches them as `norrvik-cli
// search` does (name, formula, code, author, journal, strongest lines), and
// shows the selected pattern's stick plot, its lines and its text lines;
// "Export plot..." writes the plot as SVG or PNG.
#pragma once

#include "refdb/IndexSearch.h"
#include "refdb/PatternList.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class QTableWidget;

namespace norrvik {

class TPatternListModel;
class TStickPlotView;

class TFrmBrowser : public QWidget {
    Q_OBJECT
public:
    explicit TFrmBrowser(QWidget* parent = nullptr);
    ~TFrmBrowser() override;

    // Opens the database in `folder` and lists all its patterns; raises the
    // store's messages (the window before stays as it was).
    void OpenDatabase(const std::string& folder);
    // Lets the database go (its lock too), so that a conversion may write it.
    void CloseDatabase();
    bool DatabaseOpen() const { return search_ != nullptr; }
    std::int32_t PatternCount();

    // Lists records first..last only (the patterns a conversion just added).
    void ShowRecords(std::int32_t first, std::int32_t last);
    void ShowAll();
    // Runs the search typed into the search box; raises for a malformed
    // d-spacing list.
    void RunSearch();
    // Shows the pattern of a row of the list.
    void SelectRow(int row);
    // Asks for a file and writes the shown plot into it.
    void ExportPlot();

    QComboBox* cmbField = nullptr;
    QLineEdit* edtSearch = nullptr;
    QPushButton* btnSearch = nullptr;
    QPushButton* btnShowAll = nullptr;
    QLabel* lblCount = nullptr;
    QTableView* tblPatterns = nullptr;
    TStickPlotView* plotView = nullptr;
    QComboBox* cmbAxis = nullptr;
    QPushButton* btnExport = nullptr;
    QTableWidget* tblLines = nullptr;
    QPlainTextEdit* memText = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    QWidget* CreatePatternSide();
    QWidget* CreateDetailSide();
    // Runs a handler; an exception it raises is shown in a box.
    template <typename Handler>
    void Guarded(Handler handler);
    void ListChanged(const QString& what);
    void ShowLines(const TReferencePattern& pattern);
    void ShowTexts(const TReferencePattern& pattern);
    void AxisChosen();

    std::unique_ptr<TIndexSearch> search_;
    std::unique_ptr<TPatternList> list_;
    TPatternListModel* model_ = nullptr;
};

// Opens (or brings forward) the browser of `parent` on `folder`; when the
// last conversion added `added` patterns to that folder, it lists those.
void ShowDatabaseBrowser(QWidget* parent, TFrmBrowser*& browser, const std::string& folder, long added);

} // namespace norrvik
