// platform/app/WaylandScale.cpp: the scale of the Wayland session's outputs, learnt before the
// toolkit starts, over a connection of its own.
#include "platform/app/Application.h"

#include <wayland-client.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{

struct Outputs {
    std::vector<wl_output*> outputs;
    int32_t scale = 1;
};

void on_geometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
    const char*, int32_t)
{
}

void on_mode(void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) { }

void on_done(void*, wl_output*) { }

void on_scale(void* data, wl_output*, int32_t factor)
{
    auto* outputs = static_cast<Outputs*>(data);
    outputs->scale = std::max(outputs->scale, factor);
}

// Bound at version 2, the first with the scale: the later events (a name, a description, in
// the versions that have them) never come, and their members stay empty.
const wl_output_listener kOutputListener = [] {
    wl_output_listener listener {};
    listener.geometry = on_geometry;
    listener.mode = on_mode;
    listener.done = on_done;
    listener.scale = on_scale;
    return listener;
}();

void on_global(
    void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    auto* outputs = static_cast<Outputs*>(data);
    if (std::strcmp(interface, wl_output_interface.name) != 0 || version < 2
        || outputs->outputs.size() >= 64)
        return;
    auto* output
        = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 2));
    if (output == nullptr)
        return;
    wl_output_add_listener(output, &kOutputListener, outputs);
    outputs->outputs.push_back(output);
}

void on_global_remove(void*, wl_registry*, uint32_t) { }

const wl_registry_listener kRegistryListener
    = { .global = on_global, .global_remove = on_global_remove };

} // namespace

// One round trip lists the outputs, a second brings their scales. A compositor that cannot be
// reached counts as unscaled. A fractional scale is announced as the whole number above it.
int wayland_output_scale()
{
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr)
        return 1;
    Outputs outputs;
    wl_registry* registry = wl_display_get_registry(display);
    if (registry != nullptr) {
        wl_registry_add_listener(registry, &kRegistryListener, &outputs);
        if (wl_display_roundtrip(display) >= 0 && !outputs.outputs.empty())
            (void)wl_display_roundtrip(display);
        for (wl_output* output : outputs.outputs)
            wl_output_destroy(output);
        wl_registry_destroy(registry);
    }
    wl_display_disconnect(display);
    return outputs.scale;
}
