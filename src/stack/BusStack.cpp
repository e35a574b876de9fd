#include "stack/BusStack.h"

namespace tellvane {

BusStack::BusStack(std::unique_ptr<Adapter> adapter, const BusStackEnvironment& environment)
    : m_adapter(std::move(adapter)), m_link(*m_adapter, environment.clock), m_boards(m_link, environment.settings),
      m_transport(m_link, environment.clock, m_boards),
      m_downloader(m_transport, m_boards, m_link, environment.clock, environment.dialogs, environment.settings,
                   environment.programFolder)
{
    m_link.setRouter(&m_boards);
    m_boards.setPacketReceiver(&m_transport);
    m_boards.setDownloaderControl(&m_downloader);
}

void BusStack::setYield(const std::function<void()>& yield)
{
    m_link.setYield(yield);
    m_transport.setYield(yield);
}

std::unique_ptr<Adapter> BusStack::replaceAdapter(std::unique_ptr<Adapter> adapter)
{
    std::unique_ptr<Adapter> old = std::move(m_adapter);
    m_adapter = std::move(adapter);
    m_link.setAdapter(*m_adapter);
    m_link.restart();
    return old;
}

}  // namespace tellvane
