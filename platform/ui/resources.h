// Resources held as data: dialog templates, strings and icons, registered once
// at start by the program's resource module and looked up by id.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/ui/wintypes.h"

enum class ControlClass { Button, Edit, Static, ComboBox, IpAddress };

// One control of a dialog template. Template order is the tab order.
struct DialogItem {
  int id;              // control id; -1 for labels nobody addresses
  ControlClass kind;
  const char* text;    // UTF-8 caption; for an SS_ICON static, the icon id in decimal
  int x, y, cx, cy;    // dialog units
  DWORD style;         // WS_*, and BS_/ES_/SS_/CBS_ bits of the kind; WS_VISIBLE = visible
};

struct DialogTemplate {
  UINT id;
  const char* caption;  // UTF-8
  int x, y, cx, cy;     // dialog units
  DWORD style;          // WS_* and DS_* bits
  DWORD exStyle;
  const char* fontFace;  // as written in the template; the layer maps it to the dialog font
  int fontPoints;
  std::span<const DialogItem> items;
};

// One image of an icon: size x size pixels, 0xAARRGGBB, rows top to bottom.
struct IconImage {
  int size;
  std::vector<uint32_t> argb;
};

namespace ui {
// Registration keeps the pointer: templates must live for the whole run.
void RegisterDialogTemplate(const DialogTemplate* tmpl);
const DialogTemplate* FindDialogTemplate(UINT id);

void RegisterString(UINT id, std::string text);
void RegisterIcon(UINT id, std::vector<IconImage> images);
const std::vector<IconImage>* FindIcon(UINT id);
}  // namespace ui

// The string's text (UTF-8), empty when there is no such string.
std::string LoadResourceString(UINT id);
