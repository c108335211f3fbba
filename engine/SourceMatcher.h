// The highlighting library's language (its states, their rules and the
// rules' regular expressions) run line by line with the library's own
// choice of rule, state changes and element names, but without its cost:
// the library searches every rule of the state from each token to the end
// of the line, so a line costs tokens x rules x length. Here each rule's
// next match on the line is remembered and searched again only once the
// position has passed it, which keeps a line about rules x length; and the
// patterns run on PCRE2's compiled matcher instead of a backtracking
// interpreter.
#pragma once

#include "engine/SourceStyler.h"

#include <srchilite/highlightstate.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velm {

// Where a group of a match lies in the line; npos twice for a group that
// took no part.
using TSpan = std::pair<std::size_t, std::size_t>;

// One of the library's patterns (boost's perl syntax) compiled for PCRE2
// with the meaning boost gives it: its word starts and ends, its line
// separators (CR, LF, FF) for ^ and $, its blanks (which hold VT).
class TPattern {
public:
    // Throws std::runtime_error when PCRE2 cannot compile the pattern.
    explicit TPattern(const std::string& Pattern);
    ~TPattern();
    TPattern(const TPattern&) = delete;
    TPattern& operator=(const TPattern&) = delete;
    TPattern(TPattern&&) noexcept;

    // The first match in Line from At on, as the library searches: the
    // text starts at At (nothing before it is seen), and At counts as a
    // line start only when AtLineStart. Anchored finds only a match at At.
    // Groups get the whole match and then each group. Throws
    // std::runtime_error when the matcher gives up on the line.
    bool Search(std::string_view Line, std::size_t At, bool AtLineStart, bool Anchored,
                std::vector<TSpan>& Groups) const;

    // How much of the text before a match the pattern sees: none (its
    // matches are the same wherever a search starts), a match right at the
    // search's start (a word boundary, a line start), or further back (a
    // look-behind: any match may change).
    enum class TBackReach { None, Start, Far };
    TBackReach BackReach() const { return FReach; }

private:
    struct TCode;
    std::unique_ptr<TCode> FCode;
    TBackReach FReach = TBackReach::None;
};

class TSourceMatcher {
public:
    // Main: the language's initial state, as the library's definition
    // manager builds it. The states are read, never changed.
    explicit TSourceMatcher(srchilite::HighlightStatePtr Main);
    ~TSourceMatcher();
    TSourceMatcher(const TSourceMatcher&) = delete;
    TSourceMatcher& operator=(const TSourceMatcher&) = delete;

    // Appends the runs of the next line to Runs, neighbours of one style
    // joined, continuing the previous line's state. An empty line gives no
    // runs but can still change the state. Throws std::runtime_error when
    // a rule is too complex for the regular expression matcher on this
    // line; the state is then back at the start.
    void StyleLine(const std::string& Line, std::vector<TStyledRun>& Runs);

private:
    struct TRule;
    struct TState;
    struct TToken;
    using TStatePtr = std::shared_ptr<TState>;

    TStatePtr StateFor(const srchilite::HighlightStatePtr& State);
    bool BestMatch(TState& State, const std::string& Line, std::size_t At, bool AtLineStart, TToken& Best);
    bool Search(TRule& Rule, const std::string& Line, std::size_t At, bool AtLineStart);
    void Emit(const TToken& Token, TRunStyle Prefix, const std::string& Line, std::size_t At,
              std::vector<TStyledRun>& Runs) const;
    void ChangeState(const TToken& Token, const std::string& Line);

    srchilite::HighlightStatePtr FMain;
    // The language's own states, each compiled once; states with
    // back-references are made afresh for each match that enters them.
    std::map<const srchilite::HighlightState*, TStatePtr> FStates;
    // The states entered and not left; the last is the current one.
    std::vector<TStatePtr> FStack;
    unsigned long FLine = 0;
};

} // namespace velm
