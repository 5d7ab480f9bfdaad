// Answering the alerts that code under test shows, by pressing their buttons from inside their
// own modal loops, and recording what they said.
#ifndef LUMIVO_TESTS_ALERTANSWERS_H
#define LUMIVO_TESTS_ALERTANSWERS_H

#include <functional>
#include <string>
#include <vector>

struct SeenAlert {
    std::wstring title;
    std::wstring text;
    std::vector<std::wstring> buttons; // captions in order
};

// From now on every alert that opens is answered by pressing the button at the next index of
// answers (an index past its buttons, or an exhausted list, presses the last button); what each
// alert said is recorded. beforeAnswer, when given, runs just before alert number i (from 0) is
// answered (to release a file before pressing Retry, say).
void AnswerAlerts(const std::vector<int>& answers, std::function<void(size_t)> beforeAnswer = {});
// The alerts seen since AnswerAlerts, in order.
const std::vector<SeenAlert>& SeenAlerts();
// Stops answering (the end of a test).
void StopAnsweringAlerts();

#endif
