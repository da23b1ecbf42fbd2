<?php
// Router for PHP's built-in web server: the service's front page (which sets a cookie,
// as a real site might) and the feedback script; anything else is not found.
$path = parse_url($_SERVER['REQUEST_URI'], PHP_URL_PATH);
if ($path === '/') {
    setcookie('vornsession', 'front-page');
    header('Content-Type: text/html');
    echo "<html><body>Vornell feedback service (test fixture)</body></html>\n";
    return true;
}
if ($path === '/php-bin/app_feedback.php') {
    require __DIR__ . '/app_feedback.php';
    return true;
}
http_response_code(404);
echo "Not found\n";
return true;
