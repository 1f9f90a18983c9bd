// XScreenSaver's settings page (resources/xscreensaver/telkarim.xml) against
// the settings table: every control, its option, label, range and default,
// in the table's order. A setting changed in the table and not on the page,
// or the other way round, fails here.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "settings/setting_table.h"

namespace tk {
namespace {

struct Control {
  std::string tag;
  std::map<std::string, std::string> attributes;
  bool operator==(const Control&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Control& c) {
  out << "<" << c.tag;
  for (const auto& [name, value] : c.attributes) out << " " << name << "=\"" << value << "\"";
  return out << ">";
}

// The page's controls in document order; comments and layout are skipped.
std::vector<Control> PageControls(std::string text) {
  for (size_t at; (at = text.find("<!--")) != std::string::npos;) text.erase(at, text.find("-->", at) + 3 - at);
  const std::set<std::string> kControls = {"string", "number", "select", "option", "boolean"};
  std::vector<Control> controls;
  for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
    const size_t end = text.find('>', at);
    std::istringstream element(text.substr(at + 1, end - at - 1));
    Control c;
    element >> c.tag;
    if (!kControls.count(c.tag)) continue;
    // name="value" pairs; values hold spaces ("-star-number %"), names do not.
    std::string name, value;
    while (std::getline(element >> std::ws, name, '=') && std::getline(element.ignore(1), value, '"'))
      c.attributes[name] = value;
    controls.push_back(c);
  }
  return controls;
}

// What the table says the page must hold. Controls write an option only
// away from the default, so a control left alone lets the settings file's
// value stand: numbers carry the default, the default priority and a
// switched-on object write nothing.
std::vector<Control> TableControls() {
  std::vector<Control> controls;
  for (const SettingDef& d : kSettings) {
    const std::string option = d.option, arg = "-" + option + " %";
    switch (d.type) {
      case SettingType::kColour:
        controls.push_back({"string", {{"id", option}, {"_label", d.pageLabel}, {"arg", arg}}});
        break;
      case SettingType::kRange: {
        const std::string low = std::to_string(d.min), high = std::to_string(d.max);
        controls.push_back({"number",
                            {{"id", option}, {"type", "slider"}, {"arg", arg}, {"_label", d.pageLabel},
                             {"_low-label", low}, {"_high-label", high}, {"low", low}, {"high", high},
                             {"default", std::to_string(d.defaultValue)}}});
        break;
      }
      case SettingType::kChoice:
        controls.push_back({"select", {{"id", option}}});
        for (const PriorityChoice& c : kPriorityChoices) {
          Control entry{"option", {{"id", c.word}, {"_label", c.pageLabel}}};
          if (c.value != d.defaultValue) entry.attributes["arg-set"] = "-" + option + " " + c.word;
          controls.push_back(entry);
        }
        break;
      case SettingType::kSwitch:
        controls.push_back({"boolean", {{"id", option}, {"_label", d.pageLabel}, {"arg-unset", "-no-" + option}}});
        break;
    }
  }
  return controls;
}

TEST(XScreenSaverPage, HoldsExactlyTheTablesControls) {
  std::ifstream in(TK_XSCREENSAVER_PAGE);
  ASSERT_TRUE(in) << TK_XSCREENSAVER_PAGE;
  std::stringstream xml;
  xml << in.rdbuf();
  const std::vector<Control> page = PageControls(xml.str()), table = TableControls();
  EXPECT_EQ(page.size(), table.size());
  for (size_t i = 0; i < std::min(page.size(), table.size()); ++i) EXPECT_EQ(page[i], table[i]) << "control " << i;
}

}  // namespace
}  // namespace tk
