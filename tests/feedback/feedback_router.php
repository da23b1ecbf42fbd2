<?php
// Router for PHP's built-in web server: the service's front page (which sets a cookie,
// as a real site might) and the feedback script; anything else is not found. With
// FEEDBACK_RAW set, the script's posts are kept byte for byte in that file instead.
$path = parse_url($_SERVER['REQUEST_URI'], PHP_URL_PATH);
if ($path === '/') {
    setcookie('vornsession', 'front-page');
    header('Content-Type: text/html');
    echo "<html><body>Vornell feedback service (test fixture)</body></html>\n";
    return true;
}
if ($path === '/php-bin/app_feedback.php' && getenv('FEEDBACK_RAW')) {
    // The post's bytes as they came (the server runs with enable_post_data_reading=0),
    // and its Content-Type beside them.
    $raw = getenv('FEEDBACK_RAW');
    file_put_contents($raw . '.type', $_SERVER['CONTENT_TYPE'] ?? '');
    file_put_contents($raw . '.part', file_get_contents('php://input'));
    rename($raw . '.part', $raw);
    echo "<html><body>Script Completed</body></html>\n";
    return true;
}
if ($path === '/php-bin/app_feedback.php') {
    require __DIR__ . '/app_feedback.php';
    return true;
}
http_response_code(404);
echo "Not found\n";
return true;
