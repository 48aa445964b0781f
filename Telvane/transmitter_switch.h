#pragma once

// Which transmitter's stream plays into the picture area, and the proxies that play them.
//
// At most one proxy is current. A replaced one is asked to stop and is kept until its thread has
// finished (stopping takes it a moment: its stream, a command it is running), then deleted; the
// next stream starts only when no old proxy is left, so that two never draw into the picture
// area at once, and everything an old proxy posted has been handled by then.

#include <functional>
#include <vector>

class HDMIDeviceProxy;

class TransmitterSwitch {
  public:
    // "Channel Choose" ids 0..3 are the transmitters of CH1..CH4; any other id is none ("X").
    static constexpr int kTransmitterCount = 4;

    // Creates and starts the streaming proxy of transmitter `id`; the window's, which knows the
    // addresses and the picture area's native window of the moment.
    using StartProxy = std::function<HDMIDeviceProxy*(int id)>;

    // `currentProxy` is the owner's pointer to the current proxy, which the switch keeps up to
    // date.
    TransmitterSwitch(HDMIDeviceProxy*& currentProxy, StartProxy startProxy);
    TransmitterSwitch(const TransmitterSwitch&) = delete;
    TransmitterSwitch& operator=(const TransmitterSwitch&) = delete;

    // Asks the current proxy, if any, to stop; there is none then until the next start().
    void stop();
    // Asks for transmitter `id`'s stream (none for an id outside 0..3): started at once when no
    // proxy is stopping, else once the last has finished. A later call replaces the wish.
    void start(int id);
    // A proxy's thread has finished (QThread::finished, on the owner's thread). A stopping proxy
    // is deleted, and the wished-for stream starts if none is left. False for any other proxy.
    bool finished(HDMIDeviceProxy* proxy);

    // The proxies asked to stop that have not finished yet.
    const std::vector<HDMIDeviceProxy*>& stopping() const { return stoppingProxies; }
    // For the owner's end: every proxy, current and stopping, now the owner's to stop and delete.
    std::vector<HDMIDeviceProxy*> takeAll();

  private:
    HDMIDeviceProxy*& current;
    StartProxy startNext;
    std::vector<HDMIDeviceProxy*> stoppingProxies;
    int wanted = -1;  // the transmitter whose stream waits for the stopping ones; -1: none
};
