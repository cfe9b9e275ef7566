#include "web/CoachRemote.h"

namespace {

struct Named {
  std::string_view name;
  RemoteKey key;
  const char* caption;
};

constexpr Named kKeys[] = {
    {"R", RemoteKey::kReplay, "回放"},      {"Space", RemoteKey::kFreeze, "定格"},
    {"Left", RemoteKey::kBack, "后退一帧"}, {"Right", RemoteKey::kForward, "前进一帧"},
    {"S", RemoteKey::kClip, "保存片段"},    {"C", RemoteKey::kSnapshot, "抓图"},
};

}  // namespace

std::optional<RemoteKey> RemoteKeyNamed(std::string_view name) {
  for (const Named& named : kKeys) {
    if (named.name == name) {
      return named.key;
    }
  }
  return std::nullopt;
}

const char* RemoteKeyCaption(RemoteKey key) {
  for (const Named& named : kKeys) {
    if (named.key == key) {
      return named.caption;
    }
  }
  return "";
}
