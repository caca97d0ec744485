// The grade bands every screen, letter and table grades by: change a boundary here and the
// listing, the forecast, the suggestion's advice and the standing all follow it.
#pragma once

// The lowest whole mark, or whole average, of each grade; below kPassMarks is a Fail.
constexpr int kPassMarks = 40;
constexpr int kCreditMarks = 60;
constexpr int kDistinctionMarks = 75;

// The most a subject can bring: a typed mark above it is refused, a stored one is graded "N/A".
constexpr int kFullMarks = 100;

// What a Credit and a Distinction bring over a Pass, and a Distinction over a Credit: the steps
// of the suggestion's mixes.
constexpr int kCreditOverPass = kCreditMarks - kPassMarks;
constexpr int kDistinctionOverPass = kDistinctionMarks - kPassMarks;
constexpr int kDistinctionOverCredit = kDistinctionMarks - kCreditMarks;
