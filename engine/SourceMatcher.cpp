#include "engine/SourceMatcher.h"

#include <srchilite/highlightrule.h>
#include <srchilite/regexhighlightrule.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <stdexcept>

namespace velm {

namespace {

// Steps that neither consume text nor end the line: only a language whose
// empty matches lead round in a circle takes more.
constexpr int kMaxStillSteps = 1000;
// Nested states deeper than this are not entered: the stack of a file of
// nothing but comment openers stays small.
constexpr std::size_t kMaxDepth = 10000;
constexpr std::size_t kNone = std::string::npos;

// Boost's blanks: the white space that separates no lines.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v'; }

// Where a class name inside a set ("[:alpha:]") that starts at At ends.
std::size_t ClassNameEnd(const std::string& In, std::size_t At)
{
    if (In[At] != '[' || At + 1 >= In.size() || (In[At + 1] != ':' && In[At + 1] != '=' && In[At + 1] != '.'))
        return std::string::npos;
    const std::size_t close = In.find(std::string{In[At + 1], ']'}, At + 2);
    return close == std::string::npos ? close : close + 2;
}

// Boost's perl syntax in PCRE2's: the escapes PCRE2 lacks spelled out, and
// ^ and $ at boost's line separators (CR, LF, FF; not inside CR LF). Reach
// gets how far before a match the pattern looks.
std::string PcreSyntax(const std::string& In, TPattern::TBackReach& Reach)
{
    using enum TPattern::TBackReach;
    auto reach = [&Reach](TPattern::TBackReach r) { Reach = std::max(Reach, r); };
    Reach = None;
    std::string out;
    bool inSet = false;
    for (std::size_t i = 0; i < In.size(); ++i) {
        const char c = In[i];
        if (!inSet && (c == '^' || c == '$'))
            reach(Start);
        else if (!inSet && c == '(' && In.compare(i, 3, "(?<") == 0)
            reach(Far); // a look-behind (or a named group)
        if (c == '\\' && i + 1 < In.size()) {
            const char next = In[++i];
            if (!inSet && std::string_view("bB<>AG`").find(next) != std::string_view::npos)
                reach(Start);
            else if (!inSet && next == 'K')
                reach(Far);
            if (!inSet && next == '<')
                out += "\\b(?=\\w)";
            else if (!inSet && next == '>')
                out += "\\b(?<=\\w)";
            else if (!inSet && next == '`')
                out += "\\A";
            else if (!inSet && next == '\'')
                out += "\\z";
            else
                out += {c, next};
        } else if (const std::size_t end = inSet ? ClassNameEnd(In, i) : std::string::npos; end != std::string::npos) {
            const std::string name = In.substr(i, end - i);
            out += name == "[:blank:]" ? "[:blank:]\\x0b" : name;
            i = end - 1;
        } else if (inSet) {
            inSet = c != ']';
            out += c;
        } else if (c == '[') {
            inSet = true;
            out += c;
            if (i + 1 < In.size() && In[i + 1] == '^')
                out += In[++i];
            if (i + 1 < In.size() && In[i + 1] == ']')
                out += In[++i];
        } else if (c == '^') {
            out += "(?:^|(?<=[\\n\\f])|(?<=\\r)(?!\\n))";
        } else if (c == '$') {
            out += "(?:\\z|(?=[\\r\\f])|(?<!\\r)(?=\\n))";
        } else {
            out += c;
        }
    }
    return out;
}

struct TCodeFree {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct TMatchDataFree {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
using TCodePtr = std::unique_ptr<pcre2_code, TCodeFree>;

TCodePtr Compile(const std::string& Pattern, uint32_t Options)
{
    int error = 0;
    PCRE2_SIZE offset = 0;
    TCodePtr code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(Pattern.data()), Pattern.size(),
                                Options | PCRE2_DOTALL, &error, &offset, nullptr));
    if (!code)
        throw std::runtime_error("a highlighting pattern PCRE2 cannot compile");
    return code;
}

// The compiled matcher's stack: room for long lines of strings and comments.
pcre2_match_context* MatchContext()
{
    struct TContext {
        pcre2_jit_stack* Stack = pcre2_jit_stack_create(32 * 1024, 8 * 1024 * 1024, nullptr);
        pcre2_match_context* Context = pcre2_match_context_create(nullptr);
        TContext() { pcre2_jit_stack_assign(Context, nullptr, Stack); }
        ~TContext()
        {
            pcre2_match_context_free(Context);
            pcre2_jit_stack_free(Stack);
        }
    };
    thread_local TContext context;
    return context.Context;
}

} // namespace

struct TPattern::TCode {
    TCodePtr Search;
    TCodePtr Anchored;
    bool Compiled = false; // by the JIT: its quicker entry can be taken
    std::unique_ptr<pcre2_match_data, TMatchDataFree> Data;
    std::size_t Groups = 0;
};

TPattern::TPattern(const std::string& Pattern)
    : FCode(std::make_unique<TCode>())
{
    const std::string syntax = PcreSyntax(Pattern, FReach);
    FCode->Search = Compile(syntax, 0);
    FCode->Anchored = Compile(syntax, PCRE2_ANCHORED);
    // Without the JIT the interpreter runs, slower but the same.
    FCode->Compiled = pcre2_jit_compile(FCode->Search.get(), PCRE2_JIT_COMPLETE) == 0
                      && pcre2_jit_compile(FCode->Anchored.get(), PCRE2_JIT_COMPLETE) == 0;
    FCode->Data.reset(pcre2_match_data_create_from_pattern(FCode->Search.get(), nullptr));
    uint32_t groups = 0;
    pcre2_pattern_info(FCode->Search.get(), PCRE2_INFO_CAPTURECOUNT, &groups);
    FCode->Groups = groups;
}

TPattern::~TPattern() = default;
TPattern::TPattern(TPattern&&) noexcept = default;

bool TPattern::Search(std::string_view Line, std::size_t At, bool AtLineStart, bool Anchored,
                      std::vector<TSpan>& Groups) const
{
    const auto match = FCode->Compiled ? pcre2_jit_match : pcre2_match;
    const int found = match((Anchored ? FCode->Anchored : FCode->Search).get(),
                            reinterpret_cast<PCRE2_SPTR>(Line.data() + At), Line.size() - At, 0,
                            AtLineStart ? 0 : PCRE2_NOTBOL, FCode->Data.get(), MatchContext());
    if (found == PCRE2_ERROR_NOMATCH)
        return false;
    if (found < 0)
        throw std::runtime_error("a highlighting pattern too complex for the line");
    const PCRE2_SIZE* spans = pcre2_get_ovector_pointer(FCode->Data.get());
    Groups.assign(FCode->Groups + 1, {kNone, kNone});
    for (std::size_t i = 0; i < static_cast<std::size_t>(found); ++i)
        if (spans[2 * i] != PCRE2_UNSET)
            Groups[i] = {At + spans[2 * i], At + spans[2 * i + 1]};
    return true;
}

// A rule, its pattern compiled again from the library's own text (the
// library keeps its compiled copy private), the faces of its elements, and
// its latest search on the current line.
struct TSourceMatcher::TRule {
    srchilite::HighlightRulePtr Rule;
    TPattern Pattern;
    std::vector<TRunStyle> Styles;
    unsigned long Line = 0;
    std::size_t From = 0;
    bool AtLineStart = false;
    bool Found = false;
    std::vector<TSpan> Match;
    std::vector<TSpan> Attempt;

    // StateStyle: the face of the state the rule belongs to, for the
    // elements that have none of their own.
    TRule(const srchilite::HighlightRulePtr& rule, TRunStyle StateStyle)
        : Rule(rule), Pattern(PatternOf(*rule))
    {
        for (const std::string& element : rule->getElemList())
            Styles.push_back(ElementStyle(element, StateStyle));
        if (Styles.empty())
            Styles.push_back(StateStyle);
    }

    static std::string PatternOf(const srchilite::HighlightRule& rule)
    {
        if (!dynamic_cast<const srchilite::RegexHighlightRule*>(&rule))
            throw std::runtime_error("a highlighting rule that is no regular expression");
        return rule.toString();
    }

    std::size_t Start() const { return Match[0].first; }

    // The groups that print: the whole match, or for a rule of several
    // elements each group (as many as it names elements).
    std::size_t FirstGroup() const { return Styles.size() == 1 ? 0 : 1; }
    std::size_t EndGroup() const { return Styles.size() == 1 ? 1 : std::min(Match.size(), Styles.size() + 1); }
    TRunStyle GroupStyle(std::size_t Group) const { return Styles[Group == 0 ? 0 : Group - 1]; }

    // How far the library moves on: the length of the groups that print.
    std::size_t Size() const
    {
        std::size_t size = 0;
        for (std::size_t i = FirstGroup(); i < EndGroup(); ++i)
            if (Match[i].first != kNone)
                size += Match[i].second - Match[i].first;
        return size;
    }
};

struct TSourceMatcher::TState {
    srchilite::HighlightStatePtr State;
    TRunStyle DefaultStyle;
    std::vector<TRule> Rules;

    explicit TState(const srchilite::HighlightStatePtr& state)
        : State(state), DefaultStyle(ElementStyle(state->getDefaultElement()))
    {
        for (const srchilite::HighlightRulePtr& rule : state->getRuleList())
            Rules.emplace_back(rule, DefaultStyle);
    }
};

struct TSourceMatcher::TToken {
    TRule* Rule = nullptr;
    std::size_t Prefix = 0;
    std::size_t Size = 0;
};

TSourceMatcher::TSourceMatcher(srchilite::HighlightStatePtr Main)
    : FMain(std::move(Main))
{
    FStack.push_back(StateFor(FMain));
}

TSourceMatcher::~TSourceMatcher() = default;

TSourceMatcher::TStatePtr TSourceMatcher::StateFor(const srchilite::HighlightStatePtr& State)
{
    TStatePtr& state = FStates[State.get()];
    if (!state)
        state = std::make_shared<TState>(State);
    return state;
}

void TSourceMatcher::StyleLine(const std::string& Line, std::vector<TStyledRun>& Runs)
{
    ++FLine;
    std::size_t at = 0;
    bool atLineStart = true;
    int stillSteps = 0;
    try {
        // Even an empty rest is matched: rules for the line's end rely on it.
        for (TToken token; BestMatch(*FStack.back(), Line, at, atLineStart, token);) {
            Emit(token, FStack.back()->DefaultStyle, Line, at, Runs);
            if (token.Size > 0)
                atLineStart = false;
            ChangeState(token, Line);
            at += token.Prefix + token.Size;
            stillSteps = token.Prefix + token.Size > 0 ? 0 : stillSteps + 1;
            if (stillSteps > kMaxStillSteps)
                break;
        }
    } catch (...) {
        FStack.resize(1);
        throw;
    }
    if (at < Line.size()) {
        TToken rest;
        rest.Prefix = Line.size() - at;
        Emit(rest, FStack.back()->DefaultStyle, Line, at, Runs);
    }
}

// The library's choice: the match nearest the position, the longer one
// between equally near ones, the earlier rule between equal ones; and the
// first match after nothing but blanks ends the search.
bool TSourceMatcher::BestMatch(TState& State, const std::string& Line, std::size_t At, bool AtLineStart, TToken& Best)
{
    bool found = false;
    for (TRule& rule : State.Rules) {
        if (!Search(rule, Line, At, AtLineStart))
            continue;
        const std::size_t prefix = rule.Start() - At;
        const std::size_t size = rule.Size();
        if (found && prefix >= Best.Prefix && (prefix != Best.Prefix || size <= Best.Size))
            continue;
        Best = {&rule, prefix, size};
        found = true;
        const auto from = Line.begin() + static_cast<std::ptrdiff_t>(At);
        if (std::all_of(from, from + static_cast<std::ptrdiff_t>(prefix), IsBlank))
            break;
    }
    return found;
}

// What the library's search from At finds, in Rule.Match. A remembered
// search from an earlier position on this line still holds when its match
// lies at or after At, with one exception for patterns that look back:
// right at At the new search sees no character before it (nor a line start
// after the first token), so a match there is tried again on its own.
bool TSourceMatcher::Search(TRule& Rule, const std::string& Line, std::size_t At, bool AtLineStart)
{
    const TPattern::TBackReach reach = Rule.Pattern.BackReach();
    const bool valid = reach != TPattern::TBackReach::Far && Rule.Line == FLine && Rule.From <= At
                       && (!Rule.Found || Rule.Start() >= At);
    if (valid && (reach == TPattern::TBackReach::None || (Rule.From == At && Rule.AtLineStart == AtLineStart)))
        return Rule.Found;
    if (valid && Rule.Pattern.Search(Line, At, AtLineStart, true, Rule.Attempt)) {
        Rule.Match.swap(Rule.Attempt);
        Rule.Found = true;
    } else if (!valid || (Rule.Found && Rule.Start() == At)) {
        Rule.Found = Rule.Pattern.Search(Line, At, AtLineStart, false, Rule.Match);
    }
    Rule.Line = FLine;
    Rule.From = At;
    Rule.AtLineStart = AtLineStart;
    return Rule.Found;
}

// The text before the match in the state's own face, then each group that
// prints, in its element's face.
void TSourceMatcher::Emit(const TToken& Token, TRunStyle Prefix, const std::string& Line, std::size_t At,
                          std::vector<TStyledRun>& Runs) const
{
    auto add = [&Runs, &Line](TRunStyle style, std::size_t first, std::size_t last) {
        if (first == last)
            return;
        if (!Runs.empty() && Runs.back().Style == style)
            Runs.back().Text.append(Line, first, last - first);
        else
            Runs.push_back({style, Line.substr(first, last - first)});
    };
    add(Prefix, At, At + Token.Prefix);
    if (!Token.Rule)
        return;
    const TRule& rule = *Token.Rule;
    for (std::size_t i = rule.FirstGroup(); i < rule.EndGroup(); ++i)
        if (rule.Match[i].first != kNone)
            add(rule.GroupStyle(i), rule.Match[i].first, rule.Match[i].second);
}

// Enters the rule's next state (the current one again for a nested rule; a
// copy with the match's groups put in for a state that refers back to
// them), or leaves as many states as the rule says.
void TSourceMatcher::ChangeState(const TToken& Token, const std::string& Line)
{
    const TRule& matched = *Token.Rule;
    const srchilite::HighlightRule& rule = *matched.Rule;
    srchilite::HighlightStatePtr next = rule.isNested() ? FStack.back()->State : rule.getNextState();
    if (next && FStack.size() < kMaxDepth) {
        if (next->getNeedsReferenceReplacement()) {
            if (next->getOriginalState())
                next = next->getOriginalState();
            const srchilite::HighlightStatePtr copy(new srchilite::HighlightState(*next));
            copy->setOriginalState(next);
            srchilite::ReplacementList groups;
            if (rule.getHasSubexpressions())
                for (std::size_t i = 1; i < matched.Match.size(); ++i)
                    groups.push_back(matched.Match[i].first == kNone
                                         ? std::string()
                                         : Line.substr(matched.Match[i].first,
                                                             matched.Match[i].second - matched.Match[i].first));
            copy->replaceReferences(groups);
            FStack.push_back(std::make_shared<TState>(copy));
        } else {
            FStack.push_back(rule.isNested() ? FStack.back() : StateFor(next));
        }
        return;
    }
    const int exits = rule.getExitLevel();
    if (next || exits == 0)
        return;
    // Leaving more states than were entered goes back to the start.
    const std::size_t keep = exits < 0 || static_cast<std::size_t>(exits) >= FStack.size()
                                 ? 1
                                 : FStack.size() - static_cast<std::size_t>(exits);
    FStack.resize(keep);
}

} // namespace velm
