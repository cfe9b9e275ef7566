#include "platform/ui/resources.h"

#include <map>
#include <mutex>

namespace {
struct Store {
  std::mutex mutex;  // lookups may come from any thread
  std::map<UINT, const DialogTemplate*> dialogs;
  std::map<UINT, std::string> strings;
  std::map<UINT, std::vector<IconImage>> icons;
};
Store& store() {
  static Store s;
  return s;
}
}  // namespace

namespace ui {
void RegisterDialogTemplate(const DialogTemplate* tmpl) {
  std::lock_guard lock(store().mutex);
  store().dialogs[tmpl->id] = tmpl;
}

const DialogTemplate* FindDialogTemplate(UINT id) {
  std::lock_guard lock(store().mutex);
  auto it = store().dialogs.find(id);
  return it == store().dialogs.end() ? nullptr : it->second;
}

void RegisterString(UINT id, std::string text) {
  std::lock_guard lock(store().mutex);
  store().strings[id] = std::move(text);
}

void RegisterIcon(UINT id, std::vector<IconImage> images) {
  std::lock_guard lock(store().mutex);
  store().icons[id] = std::move(images);
}

const std::vector<IconImage>* FindIcon(UINT id) {
  std::lock_guard lock(store().mutex);
  auto it = store().icons.find(id);
  return it == store().icons.end() ? nullptr : &it->second;
}
}  // namespace ui

std::string LoadResourceString(UINT id) {
  std::lock_guard lock(store().mutex);
  auto it = store().strings.find(id);
  return it == store().strings.end() ? std::string() : it->second;
}
