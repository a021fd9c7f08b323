#pragma once
// Fixed keys of the fuzz targets and the seed maker, so that the seeds (replies and downloads
// made under these keys) decrypt in the targets. Test keys only, made for this purpose.
#include <QString>

namespace corvane::fuzz {

// The client's RSA key pair (1024 bits) in the XML key form, private parts included.
inline const QString kClientKeyXml = QStringLiteral(
    "<RSAKeyValue><Modulus>425v7oXe3I0qr7ge5RAZJVM2bx5y6xYQ7MVSzIwurHxqM+dV8rb2jP9QKkfKmjB/pkMCEYwh8d"
    "bgaQ7w2tljlmT4bHUGtuk7QbLLymkPNwRxuolKe7m3gxLsYfggSfN8l4ra27VwW0z9vW3hIhLxYtP3SKLmrvZx0U+kUtizS6"
    "c=</Modulus><Exponent>AQAB</Exponent><P>/GVXdZlQEv7ngeZ6JQtrnf/WpkV2G9kdT2zylC4JneqJGdrYYpYB9Ej+"
    "xrSd1rX3dhXfyf441Cspepsth2YDLQ==</P><Q>5q3V4Z8O3bYywunjFQUPFmgUuWyGCz1oNUfeeK3N9Kl7vLw/hdPQsXkj4"
    "80gCvhTnlPTs4UzB8Ybzep04+Aeow==</Q><DP>fPyacOv5EU8VyegeeJXNNzLoUvJ26Jd9wkVLY0HhFUh9mEYdfcSXNyems"
    "zPiLd9yqhFu/xJbhgXRxptt0m0cCQ==</DP><DQ>eo2sbdvVSBE+UrNzw30WkO7m48Q2Ss5rCLOQDEk6fFt2s8THctAftcoI"
    "OUSHW4ym0Bz1AhEoFV848mM3isFNRQ==</DQ><InverseQ>wNr0e7yVKA87AktXPL9TGqjza11wU07DQEbOzFMLN7UR3xwTY"
    "YzuUFKeKhmf3fpkDSMxZiKwbBMOUrhQB7fgtg==</InverseQ><D>E17+raQ9XS+w6RKXnw8F9UXnJwPC6f8RJfmQmdd+yjY"
    "2nYEgsvGeglfkrhU7TnK/DJw8et4irgSNTKV3IkzNzIJb0kppntiOJKGbfqs4CzYN/9UdJhCJIc+RMAi55bwXUxeDhhPacJ0"
    "92Gq3n0MK4eTw3Dk5ASgqtsKMfJ51Y9E=</D></RSAKeyValue>");

// A session key as an exchange agrees it: 112 hex digits.
inline const QString kSessionKey = QStringLiteral(
    "3141592653589793238462643383279502884197169399375105820974944592307816406286208998628034825342117067982148086513");

// A computer's file key (hex), the inner layer of its catalogue.
inline const QString kFileKey = QStringLiteral("0123456789ABCDEFFEDCBA98765432100F1E2D3C4B5A6978");

}  // namespace corvane::fuzz
