<?php
// The selectxml operation served by PHP's own SoapServer (SOAP 1.1, RPC/encoded, no WSDL), configured
// as the query service is: namespace "uri:server.Validador", encoding "ISO-8859-1". Run as the router
// script of `php -S 127.0.0.1:PORT validador.php`.
//
// The sql parameter chooses the answer:
//   "return"  the bytes whose base64 text is in options, unchanged;
//   "fault"   a SoapFault whose text is options;
//   anything else: a report of the request, one "key=value" line each, values in hexadecimal:
//     method, soapaction, authorization, content_type: what the HTTP request carried;
//     part: "name:" and the UTF-8 text of each element of the operation, as the envelope holds them;
//     arg: each argument as the function received it (SoapServer turns the text into ISO-8859-1).

if (isset($_GET['probe'])) {
    echo class_exists('SoapServer') ? 'validador ready' : 'php-soap is not installed';
    return;
}

function request_report(array $args): string {
    $lines = [
        'method=' . bin2hex($_SERVER['REQUEST_METHOD'] ?? ''),
        'soapaction=' . bin2hex($_SERVER['HTTP_SOAPACTION'] ?? ''),
        'authorization=' . bin2hex($_SERVER['HTTP_AUTHORIZATION'] ?? ''),
        'content_type=' . bin2hex($_SERVER['CONTENT_TYPE'] ?? ''),
    ];
    $envelope = new DOMDocument();
    $envelope->loadXML(file_get_contents('php://input'));
    $body = $envelope->getElementsByTagNameNS('http://schemas.xmlsoap.org/soap/envelope/', 'Body')->item(0);
    foreach ($body->childNodes as $operation) {
        if ($operation->nodeType !== XML_ELEMENT_NODE) {
            continue;
        }
        $lines[] = 'operation=' . bin2hex('{' . $operation->namespaceURI . '}' . $operation->localName);
        foreach ($operation->childNodes as $part) {
            if ($part->nodeType === XML_ELEMENT_NODE) {
                $lines[] = 'part=' . bin2hex($part->localName . ':' . $part->textContent);
            }
        }
        break;
    }
    foreach ($args as $arg) {
        $lines[] = 'arg=' . bin2hex($arg);
    }
    return implode("\n", $lines);
}

function selectxml($senha, $sql, $options) {
    switch ($sql) {
        case 'return':
            return base64_decode($options, true);
        case 'fault':
            throw new SoapFault('Server', $options);
        default:
            return request_report(func_get_args());
    }
}

$server = new SoapServer(null, ['uri' => 'uri:server.Validador', 'encoding' => 'ISO-8859-1']);
$server->addFunction('selectxml');
$server->handle();
