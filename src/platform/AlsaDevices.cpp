#include "platform/AlsaDevices.h"

#include <alsa/asoundlib.h>

#include <memory>

#include "platform/DeviceNames.h"

namespace {

struct CtlCloser {
  void operator()(snd_ctl_t* ctl) const { snd_ctl_close(ctl); }
};
struct CardInfoFree {
  void operator()(snd_ctl_card_info_t* info) const { snd_ctl_card_info_free(info); }
};
struct PcmInfoFree {
  void operator()(snd_pcm_info_t* info) const { snd_pcm_info_free(info); }
};

void ListCard(int card, std::vector<AlsaCaptureDevice>& out) {
  snd_ctl_t* raw = nullptr;
  const std::string ctlName = "hw:" + std::to_string(card);
  if (snd_ctl_open(&raw, ctlName.c_str(), 0) < 0) return;
  std::unique_ptr<snd_ctl_t, CtlCloser> ctl(raw);

  snd_ctl_card_info_t* cardRaw = nullptr;
  if (snd_ctl_card_info_malloc(&cardRaw) < 0) return;
  std::unique_ptr<snd_ctl_card_info_t, CardInfoFree> cardInfo(cardRaw);
  if (snd_ctl_card_info(ctl.get(), cardInfo.get()) < 0) return;

  snd_pcm_info_t* pcmRaw = nullptr;
  if (snd_pcm_info_malloc(&pcmRaw) < 0) return;
  std::unique_ptr<snd_pcm_info_t, PcmInfoFree> pcmInfo(pcmRaw);

  int device = -1;
  while (snd_ctl_pcm_next_device(ctl.get(), &device) == 0 && device >= 0) {
    snd_pcm_info_set_device(pcmInfo.get(), static_cast<unsigned>(device));
    snd_pcm_info_set_subdevice(pcmInfo.get(), 0);
    snd_pcm_info_set_stream(pcmInfo.get(), SND_PCM_STREAM_CAPTURE);
    if (snd_ctl_pcm_info(ctl.get(), pcmInfo.get()) < 0) continue;  // playback only
    out.push_back({snd_ctl_card_info_get_id(cardInfo.get()),
                   snd_ctl_card_info_get_name(cardInfo.get()), device,
                   snd_pcm_info_get_name(pcmInfo.get())});
  }
}

}  // namespace

std::vector<AlsaCaptureDevice> ListAlsaCaptureDevices() {
  std::vector<AlsaCaptureDevice> devices;
  int card = -1;
  while (snd_card_next(&card) == 0 && card >= 0) ListCard(card, devices);
  return devices;
}

std::vector<NamedAlsaDevice> NameAlsaCaptureDevices(const std::vector<AlsaCaptureDevice>& devices) {
  std::vector<std::string> labels;
  for (const AlsaCaptureDevice& d : devices) {
    const std::string& card = d.CardName.empty() ? d.CardId : d.CardName;
    labels.push_back(d.DeviceName.empty() || d.DeviceName == card ? card
                                                                  : card + ": " + d.DeviceName);
  }
  std::vector<std::string> names = UniqueDeviceNames(labels);

  std::vector<NamedAlsaDevice> result;
  for (size_t i = 0; i < devices.size(); ++i) {
    const AlsaCaptureDevice& d = devices[i];
    result.push_back({"plughw:CARD=" + d.CardId + ",DEV=" + std::to_string(d.Device), d.CardId,
                      std::move(names[i])});
  }
  return result;
}
