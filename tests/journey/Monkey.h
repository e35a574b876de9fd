#pragma once

#include <QObject>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

class QWidget;

namespace tellvane::test {

class JourneyHarness;

// Random input on whatever the program shows: clicks on buttons, boxes, list
// rows, tabs, menus and title bars, keys to whoever has the keyboard, windows
// closed and dragged, the adapter switched; with fake time passing between
// steps. Every random number comes from one seeded generator, so a seed
// replays a session. Some input is posted rather than sent: it lands inside
// the yields of whatever the next input starts (a download, a drain).
class Monkey final : public QObject {
public:
    struct Files {
        QString firmware;       // a valid S-record file
        QStringList broken;     // S-record files with faults
        QString log;            // a log file for playback
        QString missing;        // a name with no file
    };

    Monkey(JourneyHarness& harness, std::uint64_t seed, Files files);

    // One step from the top: an input sent (or a few posted, then one sent),
    // the event loop run, then some fake time.
    void step();

    int steps() const { return m_steps; }
    // Posted inputs that arrived while a download stage ran, or a drain.
    int insideStage() const { return m_insideStage; }
    int insideDrain() const { return m_insideDrain; }
    // The seed, the step and the latest inputs, oldest first, for a failure report.
    QString trail() const
    {
        return QStringLiteral("seed %1, step %2; the latest inputs:\n").arg(m_seed).arg(m_steps) + m_trail.join(QLatin1Char('\n'));
    }

private:
    using Input = std::function<void()>;

    // A posted input comes out of the event queue.
    void arrive(const Input& input);

    int below(int n);  // 0 .. n-1
    bool chance(int percent);
    // An index into the weights, each as likely as its weight.
    int pick(const std::vector<int>& weights);
    void note(const QString& what);

    Input chooseInput(bool posted);
    Input click();
    Input clickInPopup(QWidget* popup);
    Input key();
    Input closeWindow();
    Input dragWindow();
    Input chooseAdapter();
    void prepareFileAnswers();
    // Posts the inputs that pile up behind the one sent now.
    void releaseBurst();
    int fakeMilliseconds();

    JourneyHarness& m_h;
    std::uint64_t m_seed;
    std::mt19937_64 m_random;
    Files m_files;
    int m_steps = 0;
    int m_insideStage = 0;
    int m_insideDrain = 0;
    QStringList m_trail;
    bool m_print = false;
    QString m_how;  // sent or posted, for the trail
    bool m_stageButton = false;  // the input sent now aims at a button that starts a stage
    bool m_choosingPosted = false;
    bool m_burstAtPress = false;  // the input sent now posts the pile itself
    std::vector<Input> m_burst;
};

}  // namespace tellvane::test
