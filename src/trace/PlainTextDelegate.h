#pragma once

#include <QGlyphRun>
#include <QRawFont>
#include <QStyledItemDelegate>

#include <array>

namespace tellvane {

// Draws a table's cells as plain text of a fixed-pitch font: the selection's
// colours, the text from the left, cut at the cell's edge. The trace's
// tables repaint whole screens of rows ten times a second at a busy bus; the
// style's item drawing lays each cell out and shapes its text anew, which
// costs far more than the drawing. Printable ASCII (all the trace's cells
// hold) goes as glyphs looked up once, at the font's one advance; a cell with
// any other character is drawn by the style.
class PlainTextDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    // The glyphs of the font last drawn with.
    struct Glyphs {
        QFont font;
        QRawFont raw;
        std::array<quint32, 95> index{};  // ' ' to '~'
        qreal advance = 0;
        qreal ascent = 0;
        bool usable = false;
    };
    const Glyphs& glyphsFor(const QFont& font) const;

    mutable Glyphs m_glyphs;
    mutable QList<quint32> m_runIndexes;
    mutable QList<QPointF> m_runPositions;
};

}  // namespace tellvane
