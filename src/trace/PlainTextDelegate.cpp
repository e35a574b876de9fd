#include "trace/PlainTextDelegate.h"

#include <QApplication>
#include <QPainter>

#include <algorithm>

namespace tellvane {

namespace {
constexpr int kMargin = 3;  // as the style leaves either side of a cell's text
}

const PlainTextDelegate::Glyphs& PlainTextDelegate::glyphsFor(const QFont& font) const
{
    if (m_glyphs.raw.isValid() && m_glyphs.font == font)
        return m_glyphs;
    m_glyphs = Glyphs();
    m_glyphs.font = font;
    m_glyphs.raw = QRawFont::fromFont(font);
    if (!m_glyphs.raw.isValid())
        return m_glyphs;
    QString printable;
    for (char c = ' '; c <= '~'; ++c)
        printable += QLatin1Char(c);
    const QList<quint32> indexes = m_glyphs.raw.glyphIndexesForString(printable);
    if (indexes.size() != printable.size())
        return m_glyphs;
    const QList<QPointF> advances = m_glyphs.raw.advancesForGlyphIndexes(indexes);
    m_glyphs.usable = true;
    for (qsizetype i = 0; i < indexes.size(); ++i) {
        m_glyphs.index[static_cast<std::size_t>(i)] = indexes[i];
        // One advance for all, or the font is no fixed-pitch one after all.
        m_glyphs.usable = m_glyphs.usable && indexes[i] != 0 && advances[i].x() == advances[0].x();
    }
    m_glyphs.advance = advances.value(0).x();
    m_glyphs.ascent = m_glyphs.raw.ascent();
    return m_glyphs;
}

void PlainTextDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QString text = index.data(Qt::DisplayRole).toString();
    const Glyphs& glyphs = glyphsFor(option.font);
    const bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u' ' && c <= u'~'; });
    if (!glyphs.usable || !ascii) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    if (selected)
        painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
    if (text.isEmpty())
        return;
    const QRectF area = QRectF(option.rect).adjusted(kMargin, 0, -kMargin, 0);
    const auto fit = static_cast<qsizetype>(glyphs.advance > 0 ? area.width() / glyphs.advance : 0);
    const qsizetype count = std::min(text.size(), fit);
    if (count <= 0)
        return;
    m_runIndexes.resize(count);
    m_runPositions.resize(count);
    for (qsizetype i = 0; i < count; ++i) {
        m_runIndexes[i] = glyphs.index[static_cast<std::size_t>(text[i].unicode() - u' ')];
        m_runPositions[i] = QPointF(static_cast<qreal>(i) * glyphs.advance, 0);
    }
    QGlyphRun run;
    run.setRawFont(glyphs.raw);
    run.setGlyphIndexes(m_runIndexes);
    run.setPositions(m_runPositions);
    const qreal baseline = area.top() + (area.height() - (glyphs.ascent + glyphs.raw.descent())) / 2 + glyphs.ascent;
    painter->save();
    painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawGlyphRun(QPointF(area.left(), baseline), run);
    painter->restore();
}

}  // namespace tellvane
