/* A libasound control device with the capture elements of a small sound card, for tests of the
 * recording control. Its `layout` is
 *   "enum":     an enumerated "Input Source" (Mic, Line, CD), "Capture Volume" and "Capture
 * Switch"; "switches": "Mic", "Line" and "CD" capture switches, Mic and Line with a capture volume;
 * any other layout is a card that is not there.
 * The values live as long as the process, so that a test sees what the code under test wrote
 * through a control device of its own. Loaded by the tests through their private configuration. */

#include <alsa/asoundlib.h>
#include <alsa/control_external.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
  const char* name;
  int type; /* SND_CTL_ELEM_TYPE_* */
  unsigned count;
  long max; /* integers: 0..max */
  long value[2];
} element_t;

static const char* const items[] = {"Mic", "Line", "CD"};

static element_t enum_layout[] = {
    {"Input Source", SND_CTL_ELEM_TYPE_ENUMERATED, 1, 0, {0, 0}},
    {"Capture Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 31, {10, 10}},
    {"Capture Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 1, {1, 1}},
};

static element_t switch_layout[] = {
    {"Mic Capture Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 1, {1, 1}},
    {"Mic Capture Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 63, {5, 5}},
    {"Line Capture Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 1, {0, 0}},
    {"Line Capture Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 63, {5, 5}},
    {"CD Capture Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 1, {1, 1}},
};

typedef struct {
  snd_ctl_ext_t ext;
  element_t* elements;
  int count;
} mixer_t;

static element_t* element(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key) {
  return &((mixer_t*)ext->private_data)->elements[key];
}

static int mixer_elem_count(snd_ctl_ext_t* ext) { return ((mixer_t*)ext->private_data)->count; }

static int mixer_elem_list(snd_ctl_ext_t* ext, unsigned int offset, snd_ctl_elem_id_t* id) {
  snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
  snd_ctl_elem_id_set_name(id, element(ext, offset)->name);
  return 0;
}

static snd_ctl_ext_key_t mixer_find_elem(snd_ctl_ext_t* ext, const snd_ctl_elem_id_t* id) {
  mixer_t* m = ext->private_data;
  const char* name = snd_ctl_elem_id_get_name(id);
  for (int i = 0; i < m->count; ++i)
    if (strcmp(m->elements[i].name, name) == 0) return (snd_ctl_ext_key_t)i;
  return SND_CTL_EXT_KEY_NOT_FOUND;
}

static int mixer_get_attribute(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, int* type,
                               unsigned int* acc, unsigned int* count) {
  *type = element(ext, key)->type;
  *acc = SND_CTL_EXT_ACCESS_READWRITE;
  *count = element(ext, key)->count;
  return 0;
}

static int mixer_get_integer_info(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* imin, long* imax,
                                  long* istep) {
  *imin = 0;
  *imax = element(ext, key)->max;
  *istep = 1;
  return 0;
}

static int mixer_get_enumerated_info(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned int* n) {
  (void)ext;
  (void)key;
  *n = 3;
  return 0;
}

static int mixer_get_enumerated_name(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned int item,
                                     char* name, size_t max) {
  (void)ext;
  (void)key;
  if (item >= 3) return -EINVAL;
  snprintf(name, max, "%s", items[item]);
  return 0;
}

static int mixer_read_integer(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* value) {
  element_t* e = element(ext, key);
  for (unsigned i = 0; i < e->count; ++i) value[i] = e->value[i];
  return 0;
}

static int mixer_write_integer(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* value) {
  element_t* e = element(ext, key);
  int changed = 0;
  for (unsigned i = 0; i < e->count; ++i) {
    if (value[i] < 0 || value[i] > e->max) return -EINVAL;
    changed |= e->value[i] != value[i];
    e->value[i] = value[i];
  }
  return changed;
}

static int mixer_read_enumerated(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned int* value) {
  value[0] = (unsigned)element(ext, key)->value[0];
  return 0;
}

static int mixer_write_enumerated(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned int* value) {
  if (value[0] >= 3) return -EINVAL;
  element_t* e = element(ext, key);
  const int changed = e->value[0] != (long)value[0];
  e->value[0] = value[0];
  return changed;
}

static void mixer_subscribe_events(snd_ctl_ext_t* ext, int subscribe) {
  (void)ext;
  (void)subscribe;
}

static int mixer_read_event(snd_ctl_ext_t* ext, snd_ctl_elem_id_t* id, unsigned int* event_mask) {
  (void)ext;
  (void)id;
  (void)event_mask;
  return -EAGAIN;
}

static void mixer_close(snd_ctl_ext_t* ext) { free(ext->private_data); }

static const snd_ctl_ext_callback_t mixer_callback = {
    .close = mixer_close,
    .elem_count = mixer_elem_count,
    .elem_list = mixer_elem_list,
    .find_elem = mixer_find_elem,
    .get_attribute = mixer_get_attribute,
    .get_integer_info = mixer_get_integer_info,
    .get_enumerated_info = mixer_get_enumerated_info,
    .get_enumerated_name = mixer_get_enumerated_name,
    .read_integer = mixer_read_integer,
    .read_enumerated = mixer_read_enumerated,
    .write_integer = mixer_write_integer,
    .write_enumerated = mixer_write_enumerated,
    .subscribe_events = mixer_subscribe_events,
    .read_event = mixer_read_event,
};

SND_CTL_PLUGIN_DEFINE_FUNC(stereolux_mixer) {
  (void)root;
  const char* layout = "enum";
  snd_config_iterator_t i, next;
  snd_config_for_each(i, next, conf) {
    snd_config_t* n = snd_config_iterator_entry(i);
    const char* id;
    if (snd_config_get_id(n, &id) == 0 && strcmp(id, "layout") == 0)
      snd_config_get_string(n, &layout);
  }
  const int switches = strcmp(layout, "switches") == 0;
  if (!switches && strcmp(layout, "enum") != 0) return -ENODEV; /* no such card */
  mixer_t* m = calloc(1, sizeof *m);
  if (m == NULL) return -ENOMEM;
  m->elements = switches ? switch_layout : enum_layout;
  m->count = switches ? (int)(sizeof switch_layout / sizeof switch_layout[0])
                      : (int)(sizeof enum_layout / sizeof enum_layout[0]);
  m->ext.version = SND_CTL_EXT_VERSION;
  m->ext.card_idx = 0;
  strcpy(m->ext.id, "Test");
  strcpy(m->ext.driver, "Test");
  strcpy(m->ext.name, "Stereolux test card");
  strcpy(m->ext.longname, "Stereolux test card");
  strcpy(m->ext.mixername, "Stereolux test mixer");
  m->ext.poll_fd = -1;
  m->ext.callback = &mixer_callback;
  m->ext.private_data = m;
  int err = snd_ctl_ext_create(&m->ext, name, mode);
  if (err < 0) {
    free(m);
    return err;
  }
  *handlep = m->ext.handle;
  return 0;
}

SND_CTL_PLUGIN_SYMBOL(stereolux_mixer);
