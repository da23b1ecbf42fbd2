<?php
// Stands in for the maker's feedback script: reads the form as that script does
// ($_POST, $_FILES), writes what arrived as JSON to the file named by FEEDBACK_RECORD,
// and answers with "Script Completed" unless FEEDBACK_REPLY / FEEDBACK_STATUS say otherwise.
$fields = [];
foreach ($_POST as $name => $value) {
    $fields[] = ['name' => $name, 'value' => $value];
}
$files = [];
foreach ($_FILES as $field => $f) {
    $content = ($f['error'] === UPLOAD_ERR_OK) ? file_get_contents($f['tmp_name']) : '';
    $entry = [
        'field' => $field,
        'name' => $f['name'],
        'type' => $f['type'],
        'size' => $f['size'],
        'error' => $f['error'],
        'sha1' => sha1($content),
    ];
    if (strlen($content) <= 65536) {
        $entry['content_base64'] = base64_encode($content);
    }
    $files[] = $entry;
}
$record = [
    'method' => $_SERVER['REQUEST_METHOD'],
    'uri' => $_SERVER['REQUEST_URI'],
    'content_type' => $_SERVER['CONTENT_TYPE'] ?? '',
    'accept' => $_SERVER['HTTP_ACCEPT'] ?? '',
    'user_agent' => $_SERVER['HTTP_USER_AGENT'] ?? '',
    'cookies' => (object)$_COOKIE,
    'fields' => $fields,
    'files' => $files,
];
$path = getenv('FEEDBACK_RECORD');
if ($path) {
    // Written whole, then renamed: the test never reads half a record.
    file_put_contents($path . '.part', json_encode($record));
    rename($path . '.part', $path);
}
$status = getenv('FEEDBACK_STATUS');
if ($status) {
    http_response_code((int)$status);
}
$reply = getenv('FEEDBACK_REPLY');
echo ($reply === false || $reply === '') ? "<html><body>Script Completed</body></html>\n" : $reply;
