#include "armband/watch_stream.h"

#include "armband/kinvo_handle.h"
#include "core/operating_state.h"

void updateWatchStream() {
    if (!listener || operatingMode != MODE_IDLE) return;
    const std::shared_ptr<kv::Armband> armband = heldArmband();
    const bool connected = armband && armband->getConnectionState() == kv::STATE_CONNECTED;
    const bool wanted = connected && consoleWatchers > 0 && channelMask != 0;
    const bool streaming = listener->notifyFlags() == NOTIFY_EMG_RAW;
    if (wanted && !streaming) listener->setDataNotifySwitch(NOTIFY_EMG_RAW);
    if (!wanted && streaming && armband) listener->setDataNotifySwitch(NOTIFY_NONE);
}
