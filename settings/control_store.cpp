#include "settings/control_store.h"

#include <cstring>

void set_text(ControlStore& store, int id, const std::string& text)
{
    store.texts[id] = text;
}
void set_check(ControlStore& store, int id, bool checked)
{
    store.checks[id] = checked;
}
void set_selection(ControlStore& store, int id, int position)
{
    store.selections[id] = position;
}

namespace {

void store_text(const void* context, int id, char* buffer, size_t capacity)
{
    if (capacity == 0)
        return;
    const auto& texts = static_cast<const ControlStore*>(context)->texts;
    auto found = texts.find(id);
    const std::string empty;
    const std::string& text = found == texts.end() ? empty : found->second;
    size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
}

bool store_check(const void* context, int id)
{
    const auto& checks = static_cast<const ControlStore*>(context)->checks;
    auto found = checks.find(id);
    return found != checks.end() && found->second;
}

int store_selection(const void* context, int id)
{
    const auto& selections = static_cast<const ControlStore*>(context)->selections;
    auto found = selections.find(id);
    return found == selections.end() ? -1 : found->second;
}

}  // namespace

ControlReader reader_of(const ControlStore& store)
{
    ControlReader reader;
    reader.context = &store;
    reader.get_text = store_text;
    reader.get_check = store_check;
    reader.get_selection = store_selection;
    return reader;
}

void read_text(const ControlReader& reader, int id, char* buffer, size_t capacity)
{
    std::memset(buffer, 0, capacity);
    if (reader.get_text)
        reader.get_text(reader.context, id, buffer, capacity);
    if (capacity > 0)
        buffer[capacity - 1] = 0;
}
