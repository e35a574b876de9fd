#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <vector>

class QGridLayout;
class QLabel;

namespace tellvane {

// The legend of a plot window under its chart: a coloured mark and the whole
// name of each line, in as many columns as the widest name leaves room for and
// as many rows as that takes. (The chart's own legend keeps to one row and cuts
// the names short.)
class PlotLegend final : public QWidget {
    Q_OBJECT

public:
    explicit PlotLegend(QWidget* parent = nullptr);

    void addEntry(const QColor& colour, const QString& text);
    // An ended line's name is drawn grey.
    void setEntry(int i, const QString& text, bool ended);
    int entryCount() const { return static_cast<int>(m_entries.size()); }
    QLabel* label(int i) const { return m_entries.at(static_cast<std::size_t>(i)).text; }
    int columns() const { return m_columns; }
    // As narrow as the widest name, as high as the rows of the columns now.
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Entry {
        QWidget* box = nullptr;
        QLabel* text = nullptr;
    };
    int widestEntry() const;
    int columnsFor(int width) const;
    void arrange(int columns);

    QGridLayout* m_grid = nullptr;
    std::vector<Entry> m_entries;
    int m_columns = 0;
};

}  // namespace tellvane
