#pragma once

#include "HttpService.h"

#include <filesystem>
#include <string>

class Resolver;

// What the two HTTP services answer: the file service from the content folder, the page
// service the address lookup and the weather.

// A file from the content folder, streamed from the disk; one byte range at most.
HttpService::Reply ServeFile(const std::filesystem::path& root,
                             const HttpService::Request& request);

// The two pages; the address lookup answers once its name has resolved (or failed to).
void ServePage(Resolver& resolver, const HttpService::Request& request,
               const HttpService::Respond& respond);

// The content folder must exist and be readable: a folder the server may not enter would
// only answer 404 to everything.
bool CheckContentFolder(const std::filesystem::path& content, std::string& error);
