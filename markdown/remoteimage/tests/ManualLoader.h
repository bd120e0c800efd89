#pragma once

#include "remoteimage/RemoteImageLoader.h"

#include <QPointer>

#include <vector>

// An image loader that answers only when told to, in any order.
class ManualLoader : public remoteimage::RemoteImageLoader {
public:
    struct Request {
        QUrl url;
        QPointer<QObject> context;
        Completion completion;
    };

    void image(const QUrl& url, QObject* context, Completion completion) override
    {
        requests.push_back({url, context, std::move(completion)});
    }

    void answer(size_t index, const remoteimage::RemoteImageResult& result)
    {
        const Request& request = requests.at(index);
        if (request.context)
            request.completion(result);
    }

    std::vector<Request> requests;
};
