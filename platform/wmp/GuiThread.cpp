#include "platform/wmp/GuiThread.h"

#include <glib.h>

#include <utility>

void PostToGuiThread(std::function<void()> work, GuiPriority priority)
{
    // An idle source rather than g_main_context_invoke: that one runs the
    // work at once on any thread that can take the context.
    auto* box = new std::function<void()>(std::move(work));
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, priority == GuiPriority::Idle ? G_PRIORITY_DEFAULT_IDLE : G_PRIORITY_DEFAULT);
    g_source_set_callback(
        source,
        [](gpointer data) -> gboolean {
            (*static_cast<std::function<void()>*>(data))();
            return G_SOURCE_REMOVE;
        },
        box, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
    g_source_attach(source, nullptr);
    g_source_unref(source);
}
