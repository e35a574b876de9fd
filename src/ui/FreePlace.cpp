#include "ui/FreePlace.h"

#include <algorithm>
#include <cstdint>

namespace tellvane {

namespace {
// Candidate corners: the area's own and those just past each window (with its gap).
struct Candidates {
    QList<QRect> taken;  // the windows with their gaps
    QList<int> xs{0};
    QList<int> ys{0};
};

Candidates candidatesAround(const QList<QRect>& windows)
{
    Candidates c;
    for (const QRect& window : windows) {
        const QRect r = window.adjusted(0, 0, kFreePlaceGap, kFreePlaceGap);
        c.taken.append(r);
        c.xs.append(r.right() + 1);
        c.ys.append(r.bottom() + 1);
    }
    std::sort(c.xs.begin(), c.xs.end());
    std::sort(c.ys.begin(), c.ys.end());
    return c;
}

std::optional<QPoint> firstFree(const QRect& area, const Candidates& c, const QSize& size)
{
    for (int y : c.ys) {
        for (int x : c.xs) {
            const QRect candidate(QPoint(x, y), size);
            if (!area.contains(candidate))
                continue;
            const bool free = std::none_of(c.taken.begin(), c.taken.end(),
                                           [&](const QRect& r) { return r.intersects(candidate); });
            if (free)
                return candidate.topLeft();
        }
    }
    return std::nullopt;
}

// What a window at the candidate hides: a title bar outweighs any area.
std::int64_t hiddenBy(const QRect& candidate, const QList<QRect>& taken, int titleBarHeight)
{
    std::int64_t score = 0;
    for (const QRect& r : taken) {
        const QRect window = r.adjusted(0, 0, -kFreePlaceGap, -kFreePlaceGap);
        if (candidate.contains(QRect(window.topLeft(), QSize(window.width(), titleBarHeight))))
            score += std::int64_t{1} << 40;
        const QRect covered = candidate.intersected(window);
        score += std::int64_t{covered.width()} * covered.height();
    }
    return score;
}

std::optional<QPoint> leastHiding(const QRect& area, Candidates c, const QSize& size, int titleBarHeight)
{
    c.xs.append(area.width() - size.width());
    c.ys.append(area.height() - size.height());
    std::optional<QPoint> best;
    std::int64_t bestScore = 0;
    for (int y : c.ys) {
        for (int x : c.xs) {
            const QRect candidate(QPoint(x, y), size);
            if (!area.contains(candidate))
                continue;
            const std::int64_t score = hiddenBy(candidate, c.taken, titleBarHeight);
            if (!best || score < bestScore) {
                best = candidate.topLeft();
                bestScore = score;
            }
        }
    }
    return best;
}
}  // namespace

std::optional<QPoint> freePlace(const QRect& area, const QList<QRect>& windows, const QSize& size, int titleBarHeight)
{
    // Windows of boards found one after another come to lie side by side.
    const Candidates candidates = candidatesAround(windows);
    if (const std::optional<QPoint> free = firstFree(area, candidates, size))
        return free;
    return leastHiding(area, candidates, size, titleBarHeight);
}

QPoint cascadePlace(const QRect& area, const QSize& size, int index)
{
    constexpr int kStep = 28;
    const int rows = std::max(1, (area.height() - size.height()) / kStep);
    const QPoint step((index % rows) * kStep + (index / rows % 8) * 3 * kStep, (index % rows) * kStep);
    return QPoint(std::clamp(step.x(), 0, std::max(0, area.width() - size.width())),
                  std::clamp(step.y(), 0, std::max(0, area.height() - size.height())));
}

QSize fitToFrame(const QSize& size, const QSize& frame, const QSize& minimum)
{
    return size.boundedTo(frame).expandedTo(minimum);
}

}  // namespace tellvane
