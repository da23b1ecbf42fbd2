#pragma once
// The feedback report as it goes to the maker's service: its fields and files as one
// multipart/form-data body. Built here, in plain C++, so the Qt form and the Win32 form
// send the same bytes; each form only reads the files and hands the body to its HTTP client.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vorn::feedback {

// A name or file name made safe for a quoted Content-Disposition parameter: quotes and
// line breaks are percent-encoded, so a file name cannot break out of its header.
std::string DispositionParameter(std::string_view utf8);

// The last `keep` bytes of a log, from the first line start among them (a first line cut
// in two says nothing); the whole log when it is no longer.
std::string LogTail(std::string_view log, size_t keep);

// Whether the service's answer says it took the report.
bool ServiceTookIt(std::string_view answer);

class MultipartForm {
public:
    // A text field, UTF-8.
    void AddField(std::string name, std::string value);
    // A file: its name (without folders), its MIME type ("" sends
    // application/octet-stream) and its bytes. The field is named after the file, as the
    // service has always read it.
    void AddFile(std::string fileName, std::string mimeType, std::string bytes);

    // The boundary: the first of "VornBSLFormBoundary", "...-1", "...-2" ... no part holds.
    std::string Boundary() const;
    // "multipart/form-data; boundary=..." for the Content-Type header.
    std::string ContentType() const;
    std::string Body() const;
    size_t Parts() const { return parts_.size(); }

private:
    struct Part {
        std::string name, fileName, mimeType, body;
        bool file;
    };
    std::vector<Part> parts_;
};

}  // namespace vorn::feedback
