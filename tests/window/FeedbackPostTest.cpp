// The feedback post's bytes, which both forms send: the layout the service parses, a
// boundary no part holds, names that cannot break out of their header, the log's tail.
#include <gtest/gtest.h>

#include "window/FeedbackPost.h"

namespace f = vorn::feedback;

TEST(FeedbackPost, FieldsAndFilesInTheLayoutTheServiceReads) {
    f::MultipartForm form;
    form.AddField("Name", "Ada Field");
    form.AddField("Feedback", "Line one\r\nLine two: \xc3\xbc" "ber");
    form.AddFile("error.txt", "text/plain", std::string("log\0line\n", 9));
    form.AddFile("scope \"1\".png", "", "\x89PNG");
    EXPECT_EQ(form.ContentType(), "multipart/form-data; boundary=VornBSLFormBoundary");
    EXPECT_EQ(form.Body(),
              "--VornBSLFormBoundary\r\n"
              "Content-Disposition: form-data; name=\"Name\"\r\n\r\n"
              "Ada Field\r\n"
              "--VornBSLFormBoundary\r\n"
              "Content-Disposition: form-data; name=\"Feedback\"\r\n\r\n"
              "Line one\r\nLine two: \xc3\xbc" "ber\r\n"
              "--VornBSLFormBoundary\r\n"
              "Content-Disposition: form-data; name=\"error.txt\"; filename=\"error.txt\"\r\n"
              "Content-Type: text/plain\r\n\r\n" +
                  std::string("log\0line\n", 9) +
                  "\r\n"
                  "--VornBSLFormBoundary\r\n"
                  "Content-Disposition: form-data; name=\"scope %221%22.png\"; filename=\"scope %221%22.png\"\r\n"
                  "Content-Type: application/octet-stream\r\n\r\n"
                  "\x89PNG\r\n"
                  "--VornBSLFormBoundary--\r\n");
}

TEST(FeedbackPost, TheBoundaryIsOneNoPartHolds) {
    f::MultipartForm form;
    form.AddField("Feedback", "quoting --VornBSLFormBoundary and VornBSLFormBoundary-1 here");
    EXPECT_EQ(form.Boundary(), "VornBSLFormBoundary-2");
    const std::string body = form.Body();
    EXPECT_EQ(body.rfind("--VornBSLFormBoundary-2\r\n", 0), 0u);
    EXPECT_NE(body.find("\r\n--VornBSLFormBoundary-2--\r\n"), std::string::npos);
}

TEST(FeedbackPost, NamesStayInTheirHeaderAndTheLogTailStartsAtALine) {
    EXPECT_EQ(f::DispositionParameter("a\"b\r\nc.txt"), "a%22b%0D%0Ac.txt");
    struct Case {
        const char* log;
        size_t keep;
        const char* tail;
    };
    const Case cases[] = {
        {"short\n", 100, "short\n"},
        {"first line\nsecond\nthird\n", 12, "third\n"},  // "second" would be cut: it is left out
        {"first line\nsecond\nthird\n", 13, "second\nthird\n"},
        {"one long line without an end", 5, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(f::LogTail(c.log, c.keep), c.tail) << c.log << " " << c.keep;
    EXPECT_TRUE(f::ServiceTookIt("<html>Script Completed</html>"));
    EXPECT_FALSE(f::ServiceTookIt("<html>Script failed</html>"));
}
