#include "app/BenchAnimation.h"

#include "core/ProgramFiles.h"
#include "diagnostics/ScreenBuilder.h"
#include "sim/SimAdapter.h"
#include "sim/SimBoard.h"

#include <QDir>

#include <algorithm>

namespace tellvane {

namespace {

// The message of a MessageID, made when first asked for; none for an ID no frame can carry.
SimAnimation::Message* messageFor(SimAnimation& animation, std::int32_t messageId)
{
    if (messageId < 0 || messageId > 0xFFFF)
        return nullptr;
    const bool twoBytes = messageId > 255;
    const auto key = static_cast<std::uint16_t>(messageId);
    auto found = std::find_if(animation.messages.begin(), animation.messages.end(), [&](const SimAnimation::Message& m) {
        return m.key == key && m.twoByteKey == twoBytes;
    });
    if (found != animation.messages.end())
        return &*found;
    animation.messages.push_back({twoBytes, key, {}, {}});
    return &animation.messages.back();
}

std::uint8_t bitsOf(SizeCode size)
{
    switch (size) {
    case SizeCode::W:
    case SizeCode::SW:
        return 16;
    case SizeCode::L:
    case SizeCode::SL:
        return 32;
    default:
        return 8;
    }
}

}  // namespace

SimAnimation animationOf(const ScreenDefinition& screen)
{
    SimAnimation animation;
    for (const BWLTextRecord& record : screen.bwl) {
        if (record.valid)
            if (SimAnimation::Message* m = messageFor(animation, record.messageId))
                m->fields.push_back({record.byteNum, 7, bitsOf(record.sizeCode)});
    }
    for (const BFTextRecord& record : screen.bf) {
        if (record.valid)
            if (SimAnimation::Message* m = messageFor(animation, record.messageId))
                m->fields.push_back({record.startByte, record.startBit, record.numBits});
    }
    for (const BitControlRecord& record : screen.bits) {
        if (record.valid)
            if (SimAnimation::Message* m = messageFor(animation, record.messageId))
                m->lamps.push_back({record.byteNum, record.bitMask});
    }
    return animation;
}

void animateBench(Adapter& adapter, const QString& programFolder, const QString& previewFile)
{
    auto* bench = dynamic_cast<SimAdapter*>(&adapter);
    if (!bench)
        return;
    const QString folder = QDir(programFilesFolder(programFolder)).filePath(QStringLiteral("Configuration"));
    for (const std::unique_ptr<SimNode>& node : bench->bus().nodes()) {
        auto* board = dynamic_cast<SimBoard*>(node.get());
        if (!board || !board->spec().animate)
            continue;
        const std::uint32_t pCode = board->spec().pCode;
        const ScreenLoad load = previewFile.isEmpty()
            ? loadBoardScreen(QStringLiteral("%1").arg(pCode / 10000, 4, 10, QLatin1Char('0')),
                              QStringLiteral("%1").arg(pCode % 10000, 4, 10, QLatin1Char('0')), folder, 0, false)
            : loadScreenFile(previewFile, 0, false);
        board->setAnimation(load.loaded ? animationOf(load.definition) : SimAnimation{});
    }
}

}  // namespace tellvane
