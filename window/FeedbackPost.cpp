#include "window/FeedbackPost.h"

#include "window/FeedbackConfig.h"

namespace vorn::feedback {

std::string DispositionParameter(std::string_view utf8) {
    std::string out;
    for (char c : utf8) {
        switch (c) {
            case '"': out += "%22"; break;
            case '\r': out += "%0D"; break;
            case '\n': out += "%0A"; break;
            default: out += c;
        }
    }
    return out;
}

std::string LogTail(std::string_view log, size_t keep) {
    if (log.size() <= keep) return std::string(log);
    const size_t newline = log.find('\n', log.size() - keep - 1);
    return newline == std::string_view::npos ? std::string() : std::string(log.substr(newline + 1));
}

bool ServiceTookIt(std::string_view answer) { return answer.find(kSuccessText) != std::string_view::npos; }

void MultipartForm::AddField(std::string name, std::string value) {
    parts_.push_back({std::move(name), {}, {}, std::move(value), false});
}

void MultipartForm::AddFile(std::string fileName, std::string mimeType, std::string bytes) {
    parts_.push_back({fileName, fileName, std::move(mimeType), std::move(bytes), true});
}

std::string MultipartForm::Boundary() const {
    const std::string base = "VornBSLFormBoundary";
    for (int n = 0;; ++n) {
        const std::string boundary = n == 0 ? base : base + "-" + std::to_string(n);
        bool held = false;
        for (const Part& p : parts_)
            held = held || p.body.find(boundary) != std::string::npos || p.name.find(boundary) != std::string::npos;
        if (!held) return boundary;
    }
}

std::string MultipartForm::ContentType() const { return "multipart/form-data; boundary=" + Boundary(); }

std::string MultipartForm::Body() const {
    const std::string boundary = Boundary();
    std::string body;
    for (const Part& p : parts_) {
        body += "--" + boundary + "\r\n";
        body += "Content-Disposition: form-data; name=\"" + DispositionParameter(p.name) + "\"";
        if (p.file) {
            body += "; filename=\"" + DispositionParameter(p.fileName) + "\"\r\n";
            body += "Content-Type: " + (p.mimeType.empty() ? std::string("application/octet-stream") : p.mimeType);
        }
        body += "\r\n\r\n" + p.body + "\r\n";
    }
    body += "--" + boundary + "--\r\n";
    return body;
}

}  // namespace vorn::feedback
