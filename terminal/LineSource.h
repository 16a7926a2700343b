#pragma once

#include <QDeadlineTimer>

#include <string_view>

// Where the punch stream reads its lines: the session, which bounds each wait
// by its time-outs, the link's deadline and limit. The stream sees no more of
// the session than this.
class LineSource {
public:
    // The next line, whole, without its line feed; false when none came, in
    // which case the source has recorded why and dropped the connection.
    // what names the line for that record ("a punch").
    virtual bool ReadLine(std::string_view& line, const char* what, QDeadlineTimer limit) = 0;

protected:
    ~LineSource() = default;
};
