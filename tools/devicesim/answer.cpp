#include "answer.h"

namespace devicesim {

Answer okAnswer(std::string body) {
    Answer answer;
    answer.body = std::move(body);
    return answer;
}

Answer errorAnswer(int status, const std::string& reason) {
    Answer answer;
    answer.status = status;
    answer.body = "ERROR=" + reason + "\r\n";
    return answer;
}

const char* statusText(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 413:
            return "Payload Too Large";
        case 500:
            return "Internal Error";
        case 501:
            return "Not Implemented";
        case 503:
            return "Service Unavailable";
        default:
            return "Error";
    }
}

std::string formatAnswer(const Answer& answer, long long claimedLength) {
    const long long length =
        claimedLength >= 0 ? claimedLength : static_cast<long long>(answer.body.size());
    return "HDMI/1.0 " + std::to_string(answer.status) + " " + statusText(answer.status) +
           "\r\nCONTENT-LENGTH:" + std::to_string(length) + "\r\n\r\n" + answer.body;
}

}  // namespace devicesim
