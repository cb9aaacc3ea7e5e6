#pragma once
// The wave-input calls the capture engine is written against: device count and capabilities,
// open by device number or through the default-device mapper, buffer headers queued in order,
// start, reset, close, and notifications: a recorded buffer is announced on the thread of the
// backend that filled it, the open, the close and the buffers a reset hands back on the caller's
// thread, in queue order; the callback must return quickly, as the backend waits for it. Backends
// (sound server, virtual devices, none) sit behind IWaveInBackend; one is current at a time.
//
// Header calls take cbwh = sizeof(WAVEHDR) (48 bytes here, not the 32 of 32-bit systems); a
// smaller size is refused with MMSYSERR_INVALPARAM. Device names are UTF-8. Calls may come from any
// thread, but not from inside the callback: waveInReset and waveInClose refuse that with
// MMSYSERR_HANDLEBUSY.

#include <cstdint>
#include <memory>

#include "platform/WaveInResult.h"

struct WAVEFORMATEX;  // platform/WaveFormat.h

class IWaveInBackend;

using HWAVEIN = int32_t;  // 0 is never a valid handle; handles are not reused

constexpr uint32_t WAVE_MAPPER = 0xFFFFFFFF;

constexpr uint32_t WIM_OPEN = 0x3BE;
constexpr uint32_t WIM_CLOSE = 0x3BF;
constexpr uint32_t WIM_DATA = 0x3C0;

constexpr uint32_t WAVE_FORMAT_QUERY = 0x0001;
constexpr uint32_t WAVE_ALLOWSYNC = 0x0002;
constexpr uint32_t WAVE_MAPPED = 0x0004;
constexpr uint32_t CALLBACK_NULL = 0x00000;
constexpr uint32_t CALLBACK_FUNCTION = 0x30000;
constexpr uint32_t CALLBACK_TYPEMASK = 0x70000;

constexpr uint32_t WHDR_DONE = 0x01;
constexpr uint32_t WHDR_PREPARED = 0x02;
constexpr uint32_t WHDR_INQUEUE = 0x10;

struct WAVEHDR {
  char* lpData;
  uint32_t dwBufferLength;
  uint32_t dwBytesRecorded;
  uintptr_t dwUser;
  uint32_t dwFlags;
  uint32_t dwLoops;
  WAVEHDR* lpNext;
  uintptr_t reserved;
};

// The product name: at most 127 bytes of UTF-8 and a zero. Real device descriptions are often
// longer than the 31 characters that the multimedia service keeps.
constexpr size_t WaveInNameBytes = 128;

struct WAVEINCAPS {
  uint16_t wMid;
  uint16_t wPid;
  uint32_t vDriverVersion;
  char szPname[WaveInNameBytes];
  uint32_t dwFormats;
  uint16_t wChannels;
  uint16_t wReserved1;
};

// Called from the layer's notification thread, one notification at a time, in order:
// WIM_OPEN, then one WIM_DATA per returned buffer (dwParam1 is its WAVEHDR*), then WIM_CLOSE.
using WaveInProc = void (*)(HWAVEIN hwi, uint32_t uMsg, uintptr_t dwInstance, uintptr_t dwParam1,
                            uintptr_t dwParam2);

uint32_t waveInGetNumDevs();
MMRESULT waveInGetDevCaps(uint32_t uDeviceID, WAVEINCAPS* pwic, uint32_t cbwic);
MMRESULT waveInOpen(HWAVEIN* phwi, uint32_t uDeviceID, const WAVEFORMATEX* pwfx,
                    WaveInProc dwCallback, uintptr_t dwInstance, uint32_t fdwOpen);
MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh);
MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh);
MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh);
MMRESULT waveInStart(HWAVEIN hwi);
// Stops recording and returns every queued buffer, in order, each with a WIM_DATA notification
// (dwBytesRecorded may be 0); the notifications have been delivered when it returns.
MMRESULT waveInReset(HWAVEIN hwi);
// Fails with WAVERR_STILLPLAYING while buffers are queued. WIM_CLOSE has been delivered, and no
// further notification comes, when it returns.
MMRESULT waveInClose(HWAVEIN hwi);
// The device that an open handle records from now, as a number of a fresh device listing: for a
// handle of the mapper, the device that the mapper chose (a sound server may move it when its
// default input changes). MMSYSERR_NOTSUPPORTED when the backend cannot tell, MMSYSERR_BADDEVICEID
// when that device is not listed.
MMRESULT waveInGetID(HWAVEIN hwi, uint32_t* puDeviceID);
// Bytes of audio that never reached a buffer since the open: no buffer was queued when they came,
// or the source reported a gap. Lost audio is skipped, never replaced by silence.
MMRESULT waveInGetLostBytes(HWAVEIN hwi, uint64_t* pcb);

// The backend that the device calls use. Without a call to SetWaveInBackend the first use picks
// the system's (CreateSystemWaveInBackend), or one without devices in a program linked without
// it. Handles already open keep the backend that opened them.
std::shared_ptr<IWaveInBackend> GetWaveInBackend();
void SetWaveInBackend(std::shared_ptr<IWaveInBackend> backend);
