// The browser's table of patterns: a Qt view of the toolkit-free pattern
// list (code, names, formula, match figure), which reads a row's record only
// when the view first shows it, and sorts through the text indexes.
#pragma once

#include "refdb/PatternList.h"

#include <QAbstractTableModel>

namespace norrvik {

class TPatternListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColumnCode, ColumnNames, ColumnFormula, ColumnFigure, ColumnCount };

    // The list is not owned and must outlive the model.
    explicit TPatternListModel(TPatternList& list, QObject* parent = nullptr);

    // Tell the views that the list now shows other rows.
    void BeginChange();
    void EndChange();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Code, names and formula sort through their indexes; the figure column
    // keeps the search's own order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    TPatternList& list_;
};

} // namespace norrvik
