#include "mastering/output_file.h"

#include "platform/platform.h"

PendingOutput::~PendingOutput()
{
    discard_output(*this);
}

bool begin_output(const std::string& name, PendingOutput& output, std::string& failure)
{
    output.name = output.writing = output.target = name;
    output.temporary = false;
    platform::PathKind kind = platform::path_kind(name.c_str());
    if (kind == platform::PathKind::folder) {
        failure = name + " is a folder, not a file to write";
        return false;
    }
    if (kind == platform::PathKind::other)
        return true;  // a device or a pipe: written as it goes
    std::string temporary, target;
    platform::File file = platform::create_temporary_beside(name.c_str(), temporary, target);
    if (!file.valid()) {
        failure = "cannot create a file beside " + name + ": " + platform::last_error_text();
        return false;
    }
    // Closed at once: the writers open the name themselves.
    file.close();
    output.writing = temporary;
    output.target = target;
    output.temporary = true;
    return true;
}

bool commit_output(PendingOutput& output, std::string& failure)
{
    if (!output.temporary)
        return true;
    if (!platform::rename_into_place(output.writing.c_str(), output.target.c_str())) {
        failure = "cannot put the output in place as " + output.name + ": " + platform::last_error_text();
        discard_output(output);
        return false;
    }
    output.temporary = false;
    return true;
}

void discard_output(PendingOutput& output)
{
    // The failure that led here has been reported; a temporary that cannot
    // be removed as well is left behind without a second message.
    if (output.temporary)
        (void)platform::remove_file(output.writing.c_str());
    output.temporary = false;
}

bool replaces_older_file(const PendingOutput& output)
{
    return output.temporary && platform::path_kind(output.target.c_str()) == platform::PathKind::regular;
}

bool same_file(const std::string& a, const std::string& b)
{
    platform::FileIdentity x, y;
    return platform::file_identity(a.c_str(), x) && platform::file_identity(b.c_str(), y) && x == y;
}
