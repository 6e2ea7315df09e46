#include "ui/resource_manager.h"

#include <json/json.h>
#include <tinyxml2.h>

#include <memory>

#include "platform/atomic_file.h"
#include "platform/trace.h"

namespace korvale {

CResourceManager& CResourceManager::GetInstance() {
  static CResourceManager* r = new CResourceManager;  // used until exit
  return *r;
}

bool CResourceManager::LoadResource(const std::filesystem::path& indexFile) {
  std::optional<std::string> text = ReadFileBytes(indexFile);
  if (!text) {
    Trace("resource index %s cannot be read", indexFile.string().c_str());
    return false;
  }
  tinyxml2::XMLDocument doc;
  if (doc.Parse(text->data(), text->size()) != tinyxml2::XML_SUCCESS || doc.RootElement() == nullptr) {
    Trace("resource index %s is malformed: %s", indexFile.string().c_str(), doc.ErrorStr());
    return false;
  }
  std::map<std::string, std::string, std::less<>> xml, images;
  for (const tinyxml2::XMLElement* e = doc.RootElement()->FirstChildElement(); e != nullptr;
       e = e->NextSiblingElement()) {
    const char* name = e->Attribute("name");
    if (name == nullptr) name = e->Attribute("id");
    const char* path = e->Attribute("path");
    if (name == nullptr || path == nullptr) {
      Trace("resource index %s: <%s> without name or path skipped", indexFile.string().c_str(), e->Name());
      continue;
    }
    std::string p = path;
    for (char& c : p) {
      if (c == '\\') c = '/';
    }
    std::string_view tag = e->Name();
    if (tag == "Xml" || tag == "XML" || tag == "xml") {
      xml[name] = p;
    } else if (tag == "Image" || tag == "image") {
      images[name] = p;
    }
  }
  for (auto& [k, v] : xml) xml_[k] = v;
  for (auto& [k, v] : images) images_[k] = v;
  return true;
}

std::string CResourceManager::GetXmlPath(std::string_view name) const {
  auto it = xml_.find(name);
  return it == xml_.end() ? std::string() : it->second;
}

std::string CResourceManager::GetImagePath(std::string_view name) const {
  auto it = images_.find(name);
  return it == images_.end() ? std::string() : it->second;
}

void CResourceManager::ResetResourceMap() {
  xml_.clear();
  images_.clear();
}

namespace {
// {"id": "word", ...}; members that are not strings are skipped with a trace.
bool ParseJsonTexts(const std::string& text, const std::string& file, std::map<std::string, std::string>* out) {
  Json::CharReaderBuilder builder;
  builder["allowComments"] = true;
  builder["stackLimit"] = 200;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string errors;
  bool parsed = false;
  try {
    parsed = reader->parse(text.data(), text.data() + text.size(), &root, &errors);
  } catch (const std::exception& e) {
    // jsoncpp throws when nesting passes the stack limit.
    errors = e.what();
  }
  if (!parsed || !root.isObject()) {
    Trace("language file %s is malformed: %s", file.c_str(), errors.empty() ? "not an object" : errors.c_str());
    return false;
  }
  for (const std::string& id : root.getMemberNames()) {
    const Json::Value& v = root[id];
    if (!v.isString()) {
      Trace("language file %s: text %s is not a string, skipped", file.c_str(), id.c_str());
      continue;
    }
    (*out)[id] = v.asString();
  }
  return true;
}

bool ParseXmlTexts(const std::string& text, const std::string& file, std::map<std::string, std::string>* out) {
  tinyxml2::XMLDocument doc;
  if (doc.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS || doc.RootElement() == nullptr) {
    Trace("language file %s is malformed: %s", file.c_str(), doc.ErrorStr());
    return false;
  }
  for (const tinyxml2::XMLElement* e = doc.RootElement()->FirstChildElement("Text"); e != nullptr;
       e = e->NextSiblingElement("Text")) {
    const char* id = e->Attribute("id");
    if (id == nullptr || *id == '\0') {
      Trace("language file %s: <Text> without id skipped", file.c_str());
      continue;
    }
    (*out)[id] = e->GetText() != nullptr ? e->GetText() : "";
  }
  return true;
}
}  // namespace

bool CResourceManager::LoadLanguage(const std::filesystem::path& file) {
  std::optional<std::string> text = ReadFileBytes(file);
  if (!text) {
    Trace("language file %s cannot be read", file.string().c_str());
    return false;
  }
  std::size_t first = text->find_first_not_of(" \t\r\n");
  // A UTF-8 byte order mark may precede either format.
  if (text->compare(0, 3, "\xEF\xBB\xBF") == 0) first = text->find_first_not_of(" \t\r\n", 3);
  std::map<std::string, std::string> texts;
  bool ok = first != std::string::npos && (*text)[first] == '<' ? ParseXmlTexts(*text, file.string(), &texts)
                                                               : ParseJsonTexts(*text, file.string(), &texts);
  if (!ok) return false;
  SetLanguageTexts(std::move(texts));
  return true;
}

void CResourceManager::SetLanguageTexts(std::map<std::string, std::string> texts) {
  texts_.clear();
  for (auto& [k, v] : texts) texts_.emplace(k, std::move(v));
  Changed();
}

void CResourceManager::AddText(std::string_view id, std::string_view word) {
  auto it = texts_.find(id);
  if (it == texts_.end()) {
    texts_.emplace(std::string(id), std::string(word));
  } else {
    it->second = std::string(word);
  }
  Changed();
}

const std::string* CResourceManager::FindText(std::string_view id) const {
  if (id.empty()) return nullptr;
  auto it = texts_.find(id);
  return it == texts_.end() ? nullptr : &it->second;
}

std::string CResourceManager::GetText(std::string_view id) const {
  const std::string* w = FindText(id);
  return w != nullptr ? *w : std::string(id);
}

void CResourceManager::AddLanguageListener(std::function<void()> listener) {
  if (listener) listeners_.push_back(std::move(listener));
}

void CResourceManager::Changed() {
  ++version_;
  auto listeners = listeners_;
  for (auto& l : listeners) l();
}

}  // namespace korvale
