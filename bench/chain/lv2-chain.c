/* A minimal offline LV2 host for side-by-side measurements: runs a stereo WAV file through a
 * chain of LV2 plugins in blocks of 1024 frames and writes the result.
 *
 *   lv2-chain IN.wav OUT.wav URI [symbol=value ...] [URI [symbol=value ...]] ...
 *
 * Control inputs start at their defaults; atom inputs get empty sequences. Prints the CPU
 * seconds spent in the plugins' run calls per second of audio on standard error. Built by
 * bench/chain/compare-lsp with lilv (liblilv-dev); not part of the project's build. */
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>
#include <sndfile.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum { block = 1024, maxPlugins = 8, atomCapacity = 65536 };

static char* uris[1024];
static uint32_t uriCount;

static LV2_URID map(LV2_URID_Map_Handle handle, const char* uri)
{
    (void)handle;
    for (uint32_t i = 0; i < uriCount; ++i)
        if (!strcmp(uris[i], uri)) return i + 1;
    if (uriCount == 1024) return 0;
    uris[uriCount] = strdup(uri);
    return ++uriCount;
}

static const char* unmap(LV2_URID_Unmap_Handle handle, LV2_URID urid)
{
    (void)handle;
    return urid >= 1 && urid <= uriCount ? uris[urid - 1] : NULL;
}

typedef struct {
    LilvInstance* instance;
    uint32_t portCount;
    float* controls;
    void** atoms;    /* per port: an atom buffer or NULL */
    char* atomInput; /* per port: whether that buffer is an input */
} Plugin;

int main(int argc, char** argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: lv2-chain IN.wav OUT.wav URI [symbol=value ...] ...\n");
        return 1;
    }
    SF_INFO info = {0};
    SNDFILE* in = sf_open(argv[1], SFM_READ, &info);
    if (!in || info.channels != 2) {
        fprintf(stderr, "lv2-chain: %s is not a stereo sound file\n", argv[1]);
        return 1;
    }
    SF_INFO outInfo = info;
    outInfo.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* out = sf_open(argv[2], SFM_WRITE, &outInfo);
    if (!out) {
        fprintf(stderr, "lv2-chain: cannot write %s\n", argv[2]);
        return 1;
    }

    LilvWorld* world = lilv_world_new();
    lilv_world_load_all(world);
    const LilvPlugins* all = lilv_world_get_all_plugins(world);
    LilvNode* audioClass = lilv_new_uri(world, LV2_CORE__AudioPort);
    LilvNode* controlClass = lilv_new_uri(world, LV2_CORE__ControlPort);
    LilvNode* inputClass = lilv_new_uri(world, LV2_CORE__InputPort);
    LilvNode* atomClass = lilv_new_uri(world, LV2_ATOM__AtomPort);

    LV2_URID_Map mapFeature = {NULL, map};
    LV2_URID_Unmap unmapFeature = {NULL, unmap};
    const int32_t blockLength = block;
    const float rate = (float)info.samplerate;
    LV2_Options_Option options[] = {{LV2_OPTIONS_INSTANCE, 0, map(NULL, LV2_BUF_SIZE__minBlockLength), sizeof(int32_t),
                                     map(NULL, LV2_ATOM__Int), &blockLength},
                                    {LV2_OPTIONS_INSTANCE, 0, map(NULL, LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t),
                                     map(NULL, LV2_ATOM__Int), &blockLength},
                                    {LV2_OPTIONS_INSTANCE, 0, map(NULL, LV2_BUF_SIZE__nominalBlockLength),
                                     sizeof(int32_t), map(NULL, LV2_ATOM__Int), &blockLength},
                                    {LV2_OPTIONS_INSTANCE, 0,
                                     map(NULL, "http://lv2plug.in/ns/ext/parameters#sampleRate"), sizeof(float),
                                     map(NULL, LV2_ATOM__Float), &rate},
                                    {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, NULL}};
    const LV2_Feature mapF = {LV2_URID__map, &mapFeature};
    const LV2_Feature unmapF = {LV2_URID__unmap, &unmapFeature};
    const LV2_Feature optionsF = {LV2_OPTIONS__options, options};
    const LV2_Feature boundedF = {LV2_BUF_SIZE__boundedBlockLength, NULL};
    const LV2_Feature* features[] = {&mapF, &unmapF, &optionsF, &boundedF, NULL};
    const LV2_URID sequenceType = map(NULL, LV2_ATOM__Sequence);
    const LV2_URID chunkType = map(NULL, LV2_ATOM__Chunk);

    static float left[block], right[block], frames[2 * block], scratch[block];
    Plugin plugins[maxPlugins];
    int count = 0;
    for (int a = 3; a < argc;) {
        LilvNode* uri = lilv_new_uri(world, argv[a]);
        const LilvPlugin* p = lilv_plugins_get_by_uri(all, uri);
        if (!p || count == maxPlugins) {
            fprintf(stderr, "lv2-chain: no plugin %s\n", argv[a]);
            return 1;
        }
        Plugin* plugin = &plugins[count++];
        plugin->instance = lilv_plugin_instantiate(p, info.samplerate, features);
        if (!plugin->instance) {
            fprintf(stderr, "lv2-chain: %s did not instantiate\n", argv[a]);
            return 1;
        }
        const uint32_t n = lilv_plugin_get_num_ports(p);
        plugin->portCount = n;
        plugin->controls = calloc(n, sizeof(float));
        plugin->atoms = calloc(n, sizeof(void*));
        plugin->atomInput = calloc(n, 1);
        float* defaults = calloc(n, sizeof(float));
        lilv_plugin_get_port_ranges_float(p, NULL, NULL, defaults);
        for (++a; a < argc && strchr(argv[a], '='); ++a) {
            char* symbol = strdup(argv[a]);
            char* value = strchr(symbol, '=');
            *value++ = 0;
            LilvNode* s = lilv_new_string(world, symbol);
            const LilvPort* port = lilv_plugin_get_port_by_symbol(p, s);
            if (!port) {
                fprintf(stderr, "lv2-chain: no port %s\n", symbol);
                return 1;
            }
            defaults[lilv_port_get_index(p, port)] = strtof(value, NULL);
            lilv_node_free(s);
            free(symbol);
        }
        uint32_t audioIn = 0, audioOut = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(p, i);
            const int input = lilv_port_is_a(p, port, inputClass);
            if (lilv_port_is_a(p, port, audioClass)) {
                float* buffer = input ? (audioIn++ ? right : left) : (audioOut++ ? right : left);
                lilv_instance_connect_port(plugin->instance, i, buffer);
            } else if (lilv_port_is_a(p, port, controlClass)) {
                plugin->controls[i] = defaults[i] == defaults[i] ? defaults[i] : 0;
                lilv_instance_connect_port(plugin->instance, i, &plugin->controls[i]);
            } else if (lilv_port_is_a(p, port, atomClass)) {
                plugin->atoms[i] = calloc(1, atomCapacity);
                plugin->atomInput[i] = (char)input;
                lilv_instance_connect_port(plugin->instance, i, plugin->atoms[i]);
            } else {
                lilv_instance_connect_port(plugin->instance, i, scratch); /* CV and the like */
            }
        }
        free(defaults);
        lilv_instance_activate(plugin->instance);
    }

    double inPlugins = 0, seconds = 0;
    struct timespec t0, t1;
    sf_count_t got;
    while ((got = sf_readf_float(in, frames, block)) > 0) {
        for (sf_count_t i = 0; i < got; ++i) {
            left[i] = frames[2 * i];
            right[i] = frames[2 * i + 1];
        }
        for (sf_count_t i = got; i < block; ++i) left[i] = right[i] = 0;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t0);
        for (int k = 0; k < count; ++k) {
            Plugin* plugin = &plugins[k];
            for (uint32_t i = 0; i < plugin->portCount; ++i) {
                LV2_Atom_Sequence* sequence = plugin->atoms[i];
                if (!sequence) continue;
                /* Inputs: an empty sequence; outputs: the whole capacity as a chunk. */
                if (plugin->atomInput[i]) {
                    sequence->atom.type = sequenceType;
                    sequence->atom.size = sizeof(LV2_Atom_Sequence_Body);
                    sequence->body.unit = 0;
                    sequence->body.pad = 0;
                } else {
                    sequence->atom.type = chunkType;
                    sequence->atom.size = atomCapacity - sizeof(LV2_Atom);
                }
            }
            lilv_instance_run(plugin->instance, (uint32_t)got);
        }
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t1);
        inPlugins += (double)(t1.tv_sec - t0.tv_sec) + 1e-9 * (double)(t1.tv_nsec - t0.tv_nsec);
        seconds += (double)got / info.samplerate;
        for (sf_count_t i = 0; i < got; ++i) {
            frames[2 * i] = left[i];
            frames[2 * i + 1] = right[i];
        }
        sf_writef_float(out, frames, got);
    }
    fprintf(stderr, "plugins %.5f CPU s per s of audio\n", seconds > 0 ? inPlugins / seconds : 0);
    for (int k = 0; k < count; ++k) {
        lilv_instance_deactivate(plugins[k].instance);
        lilv_instance_free(plugins[k].instance);
    }
    sf_close(in);
    sf_close(out);
    lilv_world_free(world);
    return 0;
}
