#pragma once

#include <string>

/// Stored form of the start-up password: standard Base64 of its bytes. No secret, no
/// key: it only keeps the password from being read at a glance.
std::string EncodePassword(const std::string& strPassword);
/// Tolerant decoder: any character outside the alphabet ("=" included) counts as 0, a
/// short last group is completed with zeros, the result ends at the first zero byte.
std::string DecodePassword(const std::string& strStored);
