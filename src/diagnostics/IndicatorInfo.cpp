#include "diagnostics/IndicatorInfo.h"

#include "diagnostics/ControlBox.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <tuple>

namespace tellvane {

namespace {

using Box = ControlBox;

bool sameRow(const Box& a, const Box& b)
{
    return a.top < b.bottom() && b.top < a.bottom();
}

// The label that names a control: on its row, in the same container and
// page, the nearest to its left (a value box) or to its right (a lamp).
QString neighbourCaption(const ScreenDefinition& definition, const ControlDefinition& control, bool toTheRight)
{
    const Box box = boxOf(control);
    const ControlDefinition* best = nullptr;
    int bestGap = 0;
    for (int i = 0; i < definition.controlCount(); ++i) {
        const ControlDefinition* c = definition.control(i);
        if (!c || c == &control || c->kind() != ControlKind::Label || c->container() != control.container()
            || c->page() != control.page())
            continue;
        const Box label = boxOf(*c);
        if (!sameRow(label, box))
            continue;
        // A little overlap is allowed: captions are often drawn wider than their text.
        constexpr int kSlack = 120;
        const int gap = toTheRight ? label.left - box.right() : box.left - label.right();
        if (gap < -kSlack)
            continue;
        if (!best || gap < bestGap) {
            best = c;
            bestGap = gap;
        }
    }
    return best ? best->value(Property::Caption).toString().trimmed() : QString();
}

IndicatorInfo describe(const ScreenDefinition& definition, std::int16_t cntrlIndex, IndicatorKind kind)
{
    IndicatorInfo info;
    info.cntrlIndex = cntrlIndex;
    info.kind = kind;
    const ControlDefinition* control = definition.control(cntrlIndex);
    if (!control)
        return info;
    info.controlName = control->name();
    info.caption = neighbourCaption(definition, *control, kind == IndicatorKind::Lamp);
    if (info.caption.isEmpty())
        info.caption = control->value(Property::ToolTipText).toString().trimmed();
    if (info.caption.isEmpty())
        info.caption = control->name();
    return info;
}

}  // namespace

std::vector<IndicatorInfo> screenIndicators(const ScreenDefinition& definition)
{
    std::vector<IndicatorInfo> found;
    auto made = [&](std::int16_t index) {
        const ControlDefinition* c = definition.control(index);
        return c != nullptr;
    };
    if (definition.bitListInUse) {
        for (const BitControlRecord& r : definition.bits) {
            if (r.valid && made(r.cntrlIndex)) {
                IndicatorInfo info = describe(definition, r.cntrlIndex, IndicatorKind::Lamp);
                info.m = 1.0f;
                info.b = 0.0f;
                found.push_back(std::move(info));
            }
        }
    }
    if (definition.bwlListInUse) {
        for (const BWLTextRecord& r : definition.bwl) {
            if (r.valid && made(r.cntrlIndex)) {
                IndicatorInfo info = describe(definition, r.cntrlIndex, IndicatorKind::Value);
                info.isSigned = r.sizeCode == SizeCode::SB || r.sizeCode == SizeCode::SW || r.sizeCode == SizeCode::SL;
                info.m = r.m;
                info.b = r.b;
                info.hexDisplay = r.hexDisplay;
                info.unit = r.hexDisplay ? QString() : patternUnit(r.formatPattern);
                found.push_back(std::move(info));
            }
        }
    }
    if (definition.bfListInUse) {
        for (const BFTextRecord& r : definition.bf) {
            if (r.valid && made(r.cntrlIndex)) {
                IndicatorInfo info = describe(definition, r.cntrlIndex, IndicatorKind::BitField);
                info.isSigned = r.isSigned;
                info.m = r.m;
                info.b = r.b;
                info.hexDisplay = r.hexDisplay;
                info.unit = r.hexDisplay ? QString() : patternUnit(r.formatPattern);
                found.push_back(std::move(info));
            }
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const IndicatorInfo& a, const IndicatorInfo& b) { return a.cntrlIndex < b.cntrlIndex; });
    // One control, one indicator: a control number taken twice keeps its first.
    found.erase(std::unique(found.begin(), found.end(),
                            [](const IndicatorInfo& a, const IndicatorInfo& b) { return a.cntrlIndex == b.cntrlIndex; }),
                found.end());
    return found;
}

std::optional<IndicatorInfo> indicatorOf(const ScreenDefinition& definition, int cntrlIndex)
{
    for (IndicatorInfo& info : screenIndicators(definition)) {
        if (info.cntrlIndex == cntrlIndex)
            return std::move(info);
    }
    return std::nullopt;
}

std::vector<int> indicatorsAfterRebuild(const std::vector<IndicatorInfo>& before, const std::vector<IndicatorInfo>& after)
{
    // Caption, kind, and how many before it had both.
    using Key = std::tuple<QString, IndicatorKind, int>;
    auto keys = [](const std::vector<IndicatorInfo>& list) {
        std::map<std::pair<QString, IndicatorKind>, int> seen;
        std::vector<Key> out;
        out.reserve(list.size());
        for (const IndicatorInfo& info : list)
            out.emplace_back(info.caption, info.kind, seen[{info.caption, info.kind}]++);
        return out;
    };
    const std::vector<Key> afterKeys = keys(after);
    std::map<Key, std::size_t> where;
    for (std::size_t j = 0; j < afterKeys.size(); ++j)
        where.emplace(afterKeys[j], j);
    const std::vector<Key> beforeKeys = keys(before);
    std::vector<int> found(before.size(), -1);
    for (std::size_t i = 0; i < before.size(); ++i) {
        const auto it = where.find(beforeKeys[i]);
        if (it == where.end())
            continue;
        const IndicatorInfo& was = before[i];
        const IndicatorInfo& now = after[it->second];
        if (now.isSigned == was.isSigned && now.m == was.m && now.b == was.b && now.hexDisplay == was.hexDisplay)
            found[i] = static_cast<int>(it->second);
    }
    return found;
}

QString patternUnit(const QString& pattern)
{
    QString literal;
    bool percent = false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == u';')
            break;  // the first section is the positive numbers'
        if (c == u'"') {
            const qsizetype end = pattern.indexOf(u'"', i + 1);
            if (end < 0)
                return {};  // an open quote: the pattern is no good anyway
            literal += pattern.mid(i + 1, end - i - 1);
            i = end;
        } else if (c == u'\\') {
            if (i + 1 < pattern.size())
                literal += pattern.at(++i);
        } else if (c == u'0' || c == u'#' || c == u'.' || c == u',') {
            literal.clear();
        } else if ((c == u'E' || c == u'e') && i + 1 < pattern.size()
                   && (pattern.at(i + 1) == u'+' || pattern.at(i + 1) == u'-')) {
            literal.clear();
            ++i;
        } else if (c == u'%') {
            percent = true;
        } else {
            literal += c;
        }
    }
    return percent ? QString() : literal.trimmed();
}

double decimalOf(float number)
{
    if (!std::isfinite(number))
        return static_cast<double>(number);
    // The shortest text that reads back as the same float is the one written.
    char text[32];
    const auto written = std::to_chars(text, text + sizeof(text), number);
    double value = static_cast<double>(number);
    std::from_chars(text, written.ptr, value);
    return value;
}

}  // namespace tellvane
