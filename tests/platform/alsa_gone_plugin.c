/* A libasound capture PCM for tests of what a sound card does to its reader: it hands out a fixed
 * byte pattern as fast as it is read, and once `frames` frames have been read it
 *   "gone":  is disconnected for good, as when a card is unplugged;
 *   "stall": produces nothing more and its descriptor never becomes readable again;
 *   "xrun":  reports one overrun, then goes on;
 *   "hangup": produces nothing more and its descriptor reports a hang-up for ever.
 * Loaded by the tests through their private configuration. */

#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <errno.h>
#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/eventfd.h>
#include <unistd.h>

enum mode { GONE, STALL, XRUN, HANGUP };

typedef struct {
  snd_pcm_ioplug_t io;
  int fd;
  long left; /* frames until the event */
  enum mode mode;
  snd_pcm_sframes_t last;
} gone_t;

static int gone_start(snd_pcm_ioplug_t* io) {
  gone_t* g = io->private_data;
  return g->mode == GONE && g->left <= 0 ? -ENODEV : 0;
}

static int gone_stop(snd_pcm_ioplug_t* io) {
  (void)io;
  return 0;
}

static int gone_prepare(snd_pcm_ioplug_t* io) { return gone_start(io); }

/* Always one period ahead of the reader, so reads never wait and never overrun. */
static snd_pcm_sframes_t gone_pointer(snd_pcm_ioplug_t* io) {
  gone_t* g = io->private_data;
  if (g->left <= 0) {
    switch (g->mode) {
      case GONE: snd_pcm_ioplug_set_state(io, SND_PCM_STATE_DISCONNECTED); return -ENODEV;
      case STALL: {
        uint64_t count;
        if (read(g->fd, &count, sizeof count) < 0) { /* already drained */
        }
        return g->last;
      }
      case XRUN: g->left = LONG_MAX; return -EPIPE;
      case HANGUP: return g->last;
    }
  }
  g->last = (snd_pcm_sframes_t)((io->appl_ptr + io->period_size) % io->buffer_size);
  return g->last;
}

static int gone_poll_revents(snd_pcm_ioplug_t* io, struct pollfd* pfd, unsigned int nfds,
                             unsigned short* revents) {
  gone_t* g = io->private_data;
  (void)nfds;
  *revents = g->mode == HANGUP && g->left <= 0 ? POLLHUP : pfd[0].revents;
  return 0;
}

static snd_pcm_sframes_t gone_transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas,
                                       snd_pcm_uframes_t offset, snd_pcm_uframes_t size) {
  gone_t* g = io->private_data;
  char* dst = (char*)areas[0].addr + (areas[0].first + areas[0].step * offset) / 8;
  memset(dst, 0x11, size * areas[0].step / 8);
  g->left -= (long)size;
  return (snd_pcm_sframes_t)size;
}

static int gone_close(snd_pcm_ioplug_t* io) {
  gone_t* g = io->private_data;
  close(g->fd);
  free(g);
  return 0;
}

static const snd_pcm_ioplug_callback_t gone_callback = {
    .start = gone_start,
    .stop = gone_stop,
    .pointer = gone_pointer,
    .transfer = gone_transfer,
    .close = gone_close,
    .prepare = gone_prepare,
    .poll_revents = gone_poll_revents,
};

SND_PCM_PLUGIN_DEFINE_FUNC(stereolux_gone) {
  (void)root;
  long frames = 0;
  enum mode then = GONE;
  snd_config_iterator_t i, next;
  snd_config_for_each(i, next, conf) {
    snd_config_t* n = snd_config_iterator_entry(i);
    const char* id;
    if (snd_config_get_id(n, &id) < 0) continue;
    const char* text = NULL;
    if (strcmp(id, "frames") == 0) snd_config_get_integer(n, &frames);
    if (strcmp(id, "then") == 0 && snd_config_get_string(n, &text) == 0)
      then = strcmp(text, "stall") == 0    ? STALL
             : strcmp(text, "xrun") == 0   ? XRUN
             : strcmp(text, "hangup") == 0 ? HANGUP
                                           : GONE;
  }
  if (stream != SND_PCM_STREAM_CAPTURE) return -EINVAL;

  gone_t* g = calloc(1, sizeof *g);
  if (g == NULL) return -ENOMEM;
  g->left = frames;
  g->mode = then;
  g->fd = eventfd(1, EFD_NONBLOCK | EFD_CLOEXEC); /* stays readable */
  g->io.version = SND_PCM_IOPLUG_VERSION;
  g->io.name = "Stereolux test device that goes away";
  g->io.callback = &gone_callback;
  g->io.private_data = g;
  g->io.poll_fd = g->fd;
  g->io.poll_events = POLLIN;

  int err = snd_pcm_ioplug_create(&g->io, name, stream, mode);
  if (err < 0) {
    close(g->fd);
    free(g);
    return err;
  }
  static const unsigned int access[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
  static const unsigned int formats[] = {SND_PCM_FORMAT_S16_LE};
  if ((err = snd_pcm_ioplug_set_param_list(&g->io, SND_PCM_IOPLUG_HW_ACCESS, 1, access)) < 0 ||
      (err = snd_pcm_ioplug_set_param_list(&g->io, SND_PCM_IOPLUG_HW_FORMAT, 1, formats)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(&g->io, SND_PCM_IOPLUG_HW_CHANNELS, 1, 2)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(&g->io, SND_PCM_IOPLUG_HW_RATE, 8000, 192000)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(&g->io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 64, 65536)) <
          0 ||
      (err = snd_pcm_ioplug_set_param_minmax(&g->io, SND_PCM_IOPLUG_HW_PERIODS, 2, 64)) < 0) {
    snd_pcm_ioplug_delete(&g->io);
    return err;
  }
  *pcmp = g->io.pcm;
  return 0;
}

SND_PCM_PLUGIN_SYMBOL(stereolux_gone);
