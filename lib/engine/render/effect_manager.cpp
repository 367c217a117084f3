#include "engine/render/effect_manager.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <string_view>
#include <system_error>
#include <utility>

#include "engine/core/ascii_case.h"
#include "engine/core/debug_log.h"
#include "engine/platform/utf8_path.h"
#include "engine/resource/file_system.h"

namespace fs = std::filesystem;

namespace {

// Effect sources are small; anything far larger is not an effect.
constexpr std::uintmax_t kMaxSourceBytes = 1u << 20;
constexpr std::uintmax_t kMaxTotalBytes = 4u << 20;
constexpr int kMaxIncludeDepth = 32;
constexpr int kMaxNesting = 256;
constexpr int kMaxStructNesting = 8;
constexpr int kMaxStructExpansions = 1024;

std::optional<EffectManager::SourceStamp> stampOf(const std::string& absolutePath) {
    std::error_code ec;
    const fs::path path = pathFromUtf8(absolutePath);
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        return std::nullopt;
    }
    const fs::file_time_type writeTime = fs::last_write_time(path, ec);
    if (ec) {
        return std::nullopt;
    }
    return EffectManager::SourceStamp{absolutePath, writeTime, size};
}

bool unchanged(const std::vector<EffectManager::SourceStamp>& sources) {
    for (const EffectManager::SourceStamp& source : sources) {
        std::optional<EffectManager::SourceStamp> now = stampOf(source.absolutePath);
        if (!now || now->writeTime != source.writeTime || now->size != source.size) {
            return false;
        }
    }
    return true;
}

// Replaces comments by a blank, keeping their line breaks so that directives
// stay on lines of their own. String literals pass through untouched.
bool stripComments(const std::string& in, std::string& out, std::string& reason) {
    out.clear();
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        const char c = in[i];
        const char next = i + 1 < in.size() ? in[i + 1] : '\0';
        if (c == '"') {
            size_t j = i + 1;
            while (j < in.size() && in[j] != '"' && in[j] != '\n') {
                j += in[j] == '\\' ? 2 : 1;
            }
            if (j >= in.size() || in[j] != '"') {
                reason = "unterminated string";
                return false;
            }
            out.append(in, i, j + 1 - i);
            i = j + 1;
        } else if (c == '/' && next == '/') {
            i = std::min(in.find('\n', i), in.size());
            out += ' ';
        } else if (c == '/' && next == '*') {
            const size_t end = in.find("*/", i + 2);
            if (end == std::string::npos) {
                reason = "unterminated comment";
                return false;
            }
            out += ' ';
            out.append(static_cast<size_t>(std::count(in.begin() + static_cast<std::ptrdiff_t>(i),
                                                      in.begin() + static_cast<std::ptrdiff_t>(end), '\n')),
                       '\n');
            i = end + 2;
        } else {
            out += c;
            ++i;
        }
    }
    return true;
}

// Joins an effect's source with the files it includes, each file once: a file
// already included (an include cycle among them) is not read again.
class SourceAssembler {
  public:
    explicit SourceAssembler(const std::string& includeFolder) : includeFolder_(includeFolder) {
        if (!includeFolder_.empty() && includeFolder_.back() != '/') {
            includeFolder_ += '/';
        }
    }

    bool addFile(const std::string& resourcePath, const std::string& absolutePath, int depth,
                 std::string& out) {
        seen_.insert(fileKey(absolutePath));
        std::string text;
        if (!readSource(resourcePath, absolutePath, text)) {
            return false;
        }
        std::string clean;
        std::string why;
        if (!stripComments(text, clean, why)) {
            reason = resourcePath + ": " + why;
            return false;
        }
        size_t pos = 0;
        while (pos < clean.size()) {
            size_t end = std::min(clean.find('\n', pos), clean.size());
            const size_t first = clean.find_first_not_of(" \t\r", pos);
            if (first >= end || clean[first] != '#') {
                out.append(clean, pos, end - pos);
                out += '\n';
                pos = end + 1;
                continue;
            }
            // A directive, with its continuation lines.
            while (end < clean.size() && endsWithBackslash(clean, first, end)) {
                end = std::min(clean.find('\n', end + 1), clean.size());
            }
            const std::string directive = clean.substr(first + 1, end - first - 1);
            pos = end + 1;
            out += '\n';
            if (!include(directive, resourcePath, depth, out)) {
                return false;
            }
        }
        return true;
    }

    std::string reason;
    std::vector<EffectManager::SourceStamp> stamps;

  private:
    // True when the text in [begin, end) ends in a backslash (line endings aside).
    static bool endsWithBackslash(const std::string& text, size_t begin, size_t end) {
        while (end > begin && text[end - 1] == '\r') {
            --end;
        }
        return end > begin && text[end - 1] == '\\';
    }

    // Names the same file the same way on disks that ignore letter case.
    static std::string fileKey(const std::string& absolutePath) {
#ifdef _WIN32
        return AsciiCase::toLower(absolutePath);
#else
        return absolutePath;
#endif
    }

    bool readSource(const std::string& resourcePath, const std::string& absolutePath, std::string& text) {
        std::optional<EffectManager::SourceStamp> stamp = stampOf(absolutePath);
        if (!stamp) {
            reason = resourcePath + ": cannot be read";
            return false;
        }
        if (stamp->size > kMaxSourceBytes || total_ + stamp->size > kMaxTotalBytes) {
            reason = resourcePath + ": source too large";
            return false;
        }
        std::ifstream in(pathFromUtf8(absolutePath), std::ios::binary);
        text.assign(static_cast<size_t>(stamp->size), '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        if (!in && !in.eof()) {
            reason = resourcePath + ": cannot be read";
            return false;
        }
        text.resize(static_cast<size_t>(in.gcount()));
        total_ += text.size();
        stamps.push_back(*stamp);
        return true;
    }

    // Handles one directive; only #include has an effect on what is read.
    bool include(const std::string& directive, const std::string& from, int depth, std::string& out) {
        size_t p = directive.find_first_not_of(" \t");
        if (p == std::string::npos || directive.compare(p, 7, "include") != 0) {
            return true;
        }
        p = directive.find_first_not_of(" \t", p + 7);
        const char open = p == std::string::npos ? '\0' : directive[p];
        const size_t close = open == '"' || open == '<' ? directive.find(open == '"' ? '"' : '>', p + 1) : p;
        if (close == std::string::npos || close == p) {
            reason = from + ": malformed #include";
            return false;
        }
        const std::string name = directive.substr(p + 1, close - p - 1);
        std::string resource;
        std::string absolute;
        if (!locate(name, from, resource, absolute)) {
            reason = "cannot find include \"" + name + "\" (included from " + from + ")";
            return false;
        }
        if (seen_.count(fileKey(absolute)) != 0) {
            return true;
        }
        if (depth + 1 > kMaxIncludeDepth) {
            reason = "includes nested more than " + std::to_string(kMaxIncludeDepth) + " deep at " + resource;
            return false;
        }
        return addFile(resource, absolute, depth + 1, out);
    }

    bool locate(const std::string& name, const std::string& from, std::string& resource,
                std::string& absolute) const {
        std::vector<std::string> candidates;
        if (FS::Utils::isAbsolute(name)) {
            candidates.push_back(name);
        } else {
            candidates = {FS::Utils::getDirectory(from) + name, includeFolder_ + name, name};
        }
        for (const std::string& candidate : candidates) {
            if (FS::fileSystem()->fileType(candidate) == FS::FT_FILE) {
                resource = candidate;
                absolute = FS::fileSystem()->resolveFilename(candidate);
                return !absolute.empty();
            }
        }
        return false;
    }

    std::string includeFolder_;
    std::set<std::string> seen_;
    std::uintmax_t total_ = 0;
};

struct Token {
    enum Kind : unsigned char { Identifier, Number, String, Punct };
    std::string_view text;
    Kind kind;
    // Nesting the token lies in; an opening bracket and its partner share it.
    short braceDepth;
    short parenDepth;
};

bool isIdentifierStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool isIdentifierChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

bool tokenize(const std::string& text, std::vector<Token>& tokens, std::string& reason) {
    int braces = 0;
    int parens = 0;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        size_t end = i + 1;
        Token::Kind kind = Token::Punct;
        if (isIdentifierStart(c)) {
            kind = Token::Identifier;
            while (end < text.size() && isIdentifierChar(text[end])) {
                ++end;
            }
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '.' && end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))) {
            kind = Token::Number;
            while (end < text.size() && (isIdentifierChar(text[end]) || text[end] == '.')) {
                ++end;
            }
        } else if (c == '"') {
            kind = Token::String;
            while (end < text.size() && text[end] != '"') {
                end += text[end] == '\\' ? 2 : 1;
            }
            end = std::min(end + 1, text.size());
        }
        if (c == '}') {
            --braces;
        } else if (c == ')') {
            --parens;
        }
        if (braces < 0 || parens < 0 || braces > kMaxNesting || parens > kMaxNesting) {
            reason = braces < 0 || parens < 0 ? "unbalanced brackets" : "brackets nested too deeply";
            return false;
        }
        tokens.push_back({std::string_view(text).substr(i, end - i), kind, static_cast<short>(braces),
                          static_cast<short>(parens)});
        if (c == '{') {
            ++braces;
        } else if (c == '(') {
            ++parens;
        }
        i = end;
    }
    if (braces != 0 || parens != 0) {
        reason = "unbalanced brackets";
        return false;
    }
    return true;
}

struct CompiledEntry {
    std::string profile;
    std::string entryPoint;
};

struct StageKeywords {
    const char* assignment;
    const char* setter;
    const char* label;
};

// Indexed by Render::ShaderStage.
constexpr StageKeywords kStageKeywords[Render::ShaderStageCount] = {
    {"VertexShader", "SetVertexShader", "vertex"}, {"HullShader", "SetHullShader", "hull"},
    {"DomainShader", "SetDomainShader", "domain"}, {"GeometryShader", "SetGeometryShader", "geometry"},
    {"PixelShader", "SetPixelShader", "pixel"},
};

// A parameter or struct member: [modifiers] type[<args>] name[[n]] [: SEMANTIC] [= value].
struct Declaration {
    std::string type;
    std::string templateArgument;
    std::string semantic;
    bool outputOnly = false;
    bool uniform = false;
    bool method = false;
};

class EffectParser {
  public:
    explicit EffectParser(const std::vector<Token>& tokens) : t_(tokens) {
        for (size_t i = 0; i + 2 < t_.size(); ++i) {
            if (is(i, "struct") && isWord(i + 1) && is(i + 2, "{")) {
                structs_.emplace(t_[i + 1].text, i + 2);
            }
        }
    }

    bool parse(std::string& techniqueName, std::optional<EffectBinding>& binding, std::string& reason) {
        size_t passBegin = 0;
        size_t passEnd = 0;
        if (!findFirstPass(techniqueName, passBegin, passEnd)) {
            return true;
        }
        binding.emplace();
        for (int stage = 0; stage < Render::ShaderStageCount; ++stage) {
            std::optional<CompiledEntry> entry = stageInPass(passBegin, passEnd, kStageKeywords[stage]);
            if (!entry) {
                continue;
            }
            size_t open = 0;
            size_t close = 0;
            if (!findFunction(entry->entryPoint, open, close)) {
                reason = std::string(kStageKeywords[stage].label) + " shader entry point '" +
                         entry->entryPoint + "' is not defined";
                return false;
            }
            std::vector<std::string> semantics;
            expansions_ = 0;
            for (const auto& [begin, end] : split(open + 1, close, ',')) {
                const Declaration parameter = declaration(begin, end);
                if (!parameter.outputOnly && !parameter.uniform) {
                    addSemantics(parameter, 0, semantics);
                }
            }
            binding->setShader(stage, Shader(entry->entryPoint, entry->profile, std::move(semantics)));
        }
        return true;
    }

  private:
    bool is(size_t i, std::string_view text) const { return i < t_.size() && t_[i].text == text; }
    bool isWord(size_t i) const { return i < t_.size() && t_[i].kind == Token::Identifier; }
    bool isKeyword(size_t i, std::string_view word) const {
        return isWord(i) && AsciiCase::equalIgnoringCase(t_[i].text, word);
    }
    std::string text(size_t i) const { return i < t_.size() ? std::string(t_[i].text) : std::string(); }

    // The partner of the bracket at `open`, or npos.
    size_t matching(size_t open) const {
        const bool brace = is(open, "{");
        const std::string_view closer = brace ? "}" : ")";
        for (size_t i = open + 1; i < t_.size(); ++i) {
            const short depth = brace ? t_[i].braceDepth : t_[i].parenDepth;
            if (t_[i].text == closer && depth == (brace ? t_[open].braceDepth : t_[open].parenDepth)) {
                return i;
            }
        }
        return std::string::npos;
    }

    // Sub-ranges of [begin, end) separated by `separator` outside any brackets.
    std::vector<std::pair<size_t, size_t>> split(size_t begin, size_t end, char separator) const {
        std::vector<std::pair<size_t, size_t>> parts;
        int nesting = 0;
        size_t start = begin;
        for (size_t i = begin; i < end; ++i) {
            const char c = t_[i].kind == Token::Punct ? t_[i].text[0] : '\0';
            if (c == '(' || c == '[' || c == '{' || c == '<') {
                ++nesting;
            } else if (c == ')' || c == ']' || c == '}' || c == '>') {
                --nesting;
            } else if (c == separator && nesting == 0) {
                parts.emplace_back(start, i);
                start = i + 1;
            }
        }
        if (start < end) {
            parts.emplace_back(start, end);
        }
        return parts;
    }

    bool findFirstPass(std::string& techniqueName, size_t& passBegin, size_t& passEnd) const {
        for (size_t i = 0; i < t_.size(); ++i) {
            if (t_[i].braceDepth != 0 ||
                !(isKeyword(i, "technique") || isKeyword(i, "technique10") || isKeyword(i, "technique11"))) {
                continue;
            }
            techniqueName = isWord(i + 1) ? text(i + 1) : std::string();
            size_t open = i + 1;
            while (open < t_.size() && !is(open, "{")) {
                ++open;
            }
            const size_t close = matching(open);
            for (size_t p = open + 1; close != std::string::npos && p < close; ++p) {
                if (t_[p].braceDepth != t_[open].braceDepth + 1 || !isKeyword(p, "pass")) {
                    continue;
                }
                size_t passOpen = p + 1;
                while (passOpen < close && !is(passOpen, "{")) {
                    ++passOpen;
                }
                const size_t passClose = matching(passOpen);
                if (passClose == std::string::npos || passClose > close) {
                    return false;
                }
                passBegin = passOpen + 1;
                passEnd = passClose;
                return true;
            }
            return false;
        }
        return false;
    }

    // "compile profile entry(" or "CompileShader(profile, entry(" at `i`.
    std::optional<CompiledEntry> compiled(size_t i) const {
        if (isKeyword(i, "compile") && isWord(i + 1) && isWord(i + 2) && is(i + 3, "(")) {
            return CompiledEntry{text(i + 1), text(i + 2)};
        }
        if (isKeyword(i, "CompileShader") && is(i + 1, "(") && isWord(i + 2) && is(i + 3, ",") &&
            isWord(i + 4) && is(i + 5, "(")) {
            return CompiledEntry{text(i + 2), text(i + 4)};
        }
        return std::nullopt;
    }

    // The shader of one stage in a pass: "VertexShader = <shader>;" or
    // "SetVertexShader(<shader>);", where <shader> compiles an entry point or
    // names a global shader variable that does.
    std::optional<CompiledEntry> stageInPass(size_t begin, size_t end, const StageKeywords& keywords) const {
        for (size_t i = begin; i < end; ++i) {
            const bool assigned = isKeyword(i, keywords.assignment) && is(i + 1, "=");
            const bool set = isKeyword(i, keywords.setter) && is(i + 1, "(");
            if (!assigned && !set) {
                continue;
            }
            if (std::optional<CompiledEntry> entry = compiled(i + 2)) {
                return entry;
            }
            return isWord(i + 2) ? shaderVariable(keywords.assignment, t_[i + 2].text) : std::nullopt;
        }
        return std::nullopt;
    }

    std::optional<CompiledEntry> shaderVariable(std::string_view type, std::string_view name) const {
        for (size_t i = 0; i + 2 < t_.size(); ++i) {
            if (t_[i].braceDepth == 0 && isKeyword(i, type) && is(i + 1, name) && is(i + 2, "=")) {
                return compiled(i + 3);
            }
        }
        return std::nullopt;
    }

    // The parameter list brackets of the global function `name`'s definition.
    bool findFunction(const std::string& name, size_t& open, size_t& close) const {
        for (size_t i = 1; i + 1 < t_.size(); ++i) {
            if (t_[i].braceDepth != 0 || t_[i].parenDepth != 0 || !is(i, name) || !is(i + 1, "(") ||
                !(isWord(i - 1) || is(i - 1, ">"))) {
                continue;
            }
            const size_t paramsClose = matching(i + 1);
            if (paramsClose == std::string::npos) {
                continue;
            }
            size_t body = paramsClose + 1;
            if (is(body, ":") && isWord(body + 1)) {
                body += 2;
            }
            if (is(body, "{")) {
                open = i + 1;
                close = paramsClose;
                return true;
            }
        }
        return false;
    }

    Declaration declaration(size_t begin, size_t end) const {
        static const std::set<std::string, std::less<>> modifiers = {
            "in",           "out",      "inout",    "uniform",         "const",         "static",
            "precise",      "linear",   "centroid", "nointerpolation", "noperspective", "sample",
            "point",        "line",     "triangle", "lineadj",         "triangleadj",   "row_major",
            "column_major", "volatile", "snorm",    "unorm",           "groupshared",   "shared"};
        Declaration d;
        size_t i = begin;
        for (; i < end && isWord(i) && modifiers.count(t_[i].text) != 0; ++i) {
            d.outputOnly = d.outputOnly || t_[i].text == "out";
            d.uniform = d.uniform || t_[i].text == "uniform";
        }
        if (i < end && isWord(i)) {
            d.type = text(i++);
        }
        if (is(i, "<") && isWord(i + 1)) {
            d.templateArgument = text(i + 1);
        }
        for (; i < end && !is(i, "="); ++i) {
            d.method = d.method || is(i, "(");
            if (is(i, ":") && isWord(i + 1) && !is(i + 1, "register") && !is(i + 1, "packoffset") &&
                d.semantic.empty()) {
                d.semantic = text(i + 1);
            }
        }
        return d;
    }

    // The semantic of a declaration, or those of the members of its struct type.
    void addSemantics(const Declaration& d, int nesting, std::vector<std::string>& out) const {
        if (d.method) {
            return;
        }
        if (!d.semantic.empty()) {
            out.push_back(d.semantic);
            return;
        }
        // Nested structs could multiply out without end; real inputs are a few dozen.
        if (nesting >= kMaxStructNesting || ++expansions_ > kMaxStructExpansions) {
            return;
        }
        for (const std::string& type : {d.type, d.templateArgument}) {
            size_t open = 0;
            size_t close = 0;
            if (!type.empty() && findStruct(type, open, close)) {
                for (const auto& [begin, end] : split(open + 1, close, ';')) {
                    addSemantics(declaration(begin, end), nesting + 1, out);
                }
                return;
            }
        }
    }

    bool findStruct(const std::string& name, size_t& open, size_t& close) const {
        auto found = structs_.find(name);
        if (found == structs_.end()) {
            return false;
        }
        open = found->second;
        close = matching(open);
        return close != std::string::npos;
    }

    const std::vector<Token>& t_;
    // Opening brace of each struct's body; the first definition of a name wins.
    std::map<std::string_view, size_t, std::less<>> structs_;
    mutable int expansions_ = 0;
};

bool parseSemantic(std::string_view semantic, std::string_view& name, std::string_view& index) {
    size_t digits = semantic.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(semantic[digits - 1]))) {
        --digits;
    }
    name = semantic.substr(0, digits);
    index = semantic.substr(digits);
    while (index.size() > 1 && index.front() == '0') {
        index.remove_prefix(1);
    }
    return !name.empty();
}

} // namespace

const Shader* EffectBinding::getShader(int stage) const {
    if (stage < 0 || stage >= Render::ShaderStageCount || !shaders_[static_cast<size_t>(stage)]) {
        return nullptr;
    }
    return &*shaders_[static_cast<size_t>(stage)];
}

void EffectBinding::setShader(int stage, Shader shader) {
    if (stage >= 0 && stage < Render::ShaderStageCount) {
        shaders_[static_cast<size_t>(stage)] = std::move(shader);
    }
}

const EffectBinding* Effect::getEffectBinding(const RenderCommandContext& /*context*/) const {
    return binding_ ? &*binding_ : nullptr;
}

EffectManager& EffectManager::instance() {
    static EffectManager manager;
    return manager;
}

EffectPtr EffectManager::get(const std::string& fxPath, const std::string& includeFolder, bool forceReload) {
    if (fxPath.empty() || FS::fileSystem()->fileType(fxPath) != FS::FT_FILE) {
        DebugLog::message(DebugLog::Info, "effect", "%s: not found", fxPath.c_str());
        return nullptr;
    }
    const std::string absolute = FS::fileSystem()->resolveFilename(fxPath);
    const std::string key = absolute + '\n' + includeFolder;
    std::lock_guard<std::mutex> lock(mutex_);
    auto cached = cache_.find(key);
    if (cached != cache_.end()) {
        if (!forceReload && unchanged(cached->second.sources)) {
            return cached->second.effect;
        }
        cache_.erase(cached);
    }

    SourceAssembler assembler(includeFolder);
    std::string source;
    std::vector<Token> tokens;
    std::string techniqueName;
    std::optional<EffectBinding> binding;
    std::string reason;
    if (!assembler.addFile(fxPath, absolute, 0, source)) {
        reason = assembler.reason;
    } else if (tokenize(source, tokens, reason)) {
        EffectParser(tokens).parse(techniqueName, binding, reason);
    }
    if (!reason.empty()) {
        DebugLog::fileProblem("effect", fxPath, reason);
        return nullptr;
    }
    EffectPtr effect(new Effect(fxPath, techniqueName, std::move(binding)));
    cache_[key] = Entry{effect, std::move(assembler.stamps)};
    return effect;
}

void EffectManager::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    cache_.clear();
}

bool RenderSystem::inputSemanticExists(const Shader* shader, const std::string& semantic) {
    std::string_view wantedName;
    std::string_view wantedIndex;
    if (!shader || !parseSemantic(semantic, wantedName, wantedIndex)) {
        return false;
    }
    for (const std::string& declared : shader->inputSemantics()) {
        std::string_view name;
        std::string_view index;
        if (!parseSemantic(declared, name, index) || !AsciiCase::equalIgnoringCase(name, wantedName)) {
            continue;
        }
        if (wantedIndex.empty() || (index.empty() ? std::string_view("0") : index) == wantedIndex) {
            return true;
        }
    }
    return false;
}

namespace Render {

RenderSystem& rs() {
    static RenderSystem system;
    return system;
}

} // namespace Render
