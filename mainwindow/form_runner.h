// The FormRunner seam: every modal window of the program (about box, settings
// dialog, scan window) is shown through it. The program's runner calls
// exec(); tests put a script in its place that fills in the form and presses
// its buttons, so no test ever waits on a real modal loop.
#pragma once

class QDialog;

namespace kestova {

class FormRunner
{
public:
    virtual ~FormRunner() = default;
    // Shows the dialog modally and returns its result code once it closed.
    virtual int ShowModal(QDialog &dialog) = 0;
};

class ExecFormRunner : public FormRunner
{
public:
    int ShowModal(QDialog &dialog) override;
};

} // namespace kestova
