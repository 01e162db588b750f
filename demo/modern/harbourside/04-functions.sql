-- Harbourside: functions.

-- @object User Defined Function | fn_OrderNet | 2006-04-10 11:00:12
CREATE FUNCTION dbo.fn_OrderNet (@OrderId int)
RETURNS decimal(19, 4)
AS
BEGIN
    RETURN (SELECT SUM(Quantity * UnitPrice * (100 - DiscountPct) / 100)
              FROM dbo.SalesOrderLine WHERE OrderId = @OrderId);
END;

-- @object User Defined Function | fn_VatAmount | 2006-04-10 11:02:40
CREATE FUNCTION dbo.fn_VatAmount (@Net decimal(19, 4), @OnDate date)
RETURNS decimal(19, 4)
AS
BEGIN
    -- Standard rate history: 17.5% until 2008-11-30, 15% to 2009-12-31, 17.5% to 2011-01-03, then 20%.
    DECLARE @Rate decimal(5, 2) =
        CASE WHEN @OnDate < '2008-12-01' THEN 17.5
             WHEN @OnDate < '2010-01-01' THEN 15.0
             WHEN @OnDate < '2011-01-04' THEN 17.5
             ELSE 20.0 END;
    RETURN ROUND(@Net * @Rate / 100, 2);
END;

-- @object User Defined Function | fn_AvailableStock | 2007-02-01 16:02:03
CREATE FUNCTION dbo.fn_AvailableStock (@ProductId int)
RETURNS int
AS
BEGIN
    RETURN (SELECT ISNULL(SUM(OnHand - Allocated), 0) FROM dbo.Stock WHERE ProductId = @ProductId);
END;

-- @object User Defined Function | fn_CustomerOrders | 2008-03-05 09:30:21
CREATE FUNCTION dbo.fn_CustomerOrders (@CustomerId int, @From date, @To date)
RETURNS TABLE
AS
RETURN
    SELECT o.OrderId, o.OrderedAt, o.Status, t.NetAmount
      FROM dbo.SalesOrder AS o
      JOIN dbo.vw_OrderTotals AS t ON t.OrderId = o.OrderId
     WHERE o.CustomerId = @CustomerId
       AND o.OrderedAt >= @From AND o.OrderedAt < DATEADD(day, 1, @To);

-- @object User Defined Function | fn_PriceFor | 2009-09-30 14:01:15
CREATE FUNCTION dbo.fn_PriceFor (@CustomerId int, @ProductId int, @OnDate date)
RETURNS decimal(19, 4)
AS
BEGIN
    DECLARE @Price decimal(19, 4);
    SELECT @Price = pli.Price
      FROM dbo.CustomerPriceList AS cpl
      JOIN dbo.PriceList     AS pl  ON pl.PriceListId = cpl.PriceListId
      JOIN dbo.PriceListItem AS pli ON pli.PriceListId = pl.PriceListId AND pli.ProductId = @ProductId
     WHERE cpl.CustomerId = @CustomerId
       AND pl.ValidFrom <= @OnDate AND (pl.ValidTo IS NULL OR pl.ValidTo >= @OnDate);
    IF @Price IS NULL
        SELECT @Price = ListPrice FROM dbo.Product WHERE ProductId = @ProductId;
    RETURN @Price;
END;

-- @object User Defined Function | fn_WorkingDaysBetween | 2010-05-14 15:22:48
CREATE FUNCTION dbo.fn_WorkingDaysBetween (@From date, @To date)
RETURNS int
AS
BEGIN
    DECLARE @Days int = DATEDIFF(day, @From, @To);
    RETURN @Days - 2 * (DATEDIFF(week, @From, @To))
           - CASE WHEN DATENAME(weekday, @From) = 'Sunday' THEN 1 ELSE 0 END
           - CASE WHEN DATENAME(weekday, @To) = 'Saturday' THEN 1 ELSE 0 END;
END;

-- @object User Defined Function | fn_SplitSkus | 2012-08-21 10:45:30
CREATE FUNCTION dbo.fn_SplitSkus (@List varchar(max))
RETURNS @Skus TABLE (Sku varchar(20) PRIMARY KEY)
AS
BEGIN
    DECLARE @Pos int = 1, @Next int;
    WHILE @Pos <= LEN(@List)
    BEGIN
        SET @Next = CHARINDEX(',', @List, @Pos);
        IF @Next = 0 SET @Next = LEN(@List) + 1;
        INSERT INTO @Skus (Sku)
        SELECT LTRIM(RTRIM(SUBSTRING(@List, @Pos, @Next - @Pos)))
         WHERE NOT EXISTS (SELECT 1 FROM @Skus WHERE Sku = LTRIM(RTRIM(SUBSTRING(@List, @Pos, @Next - @Pos))));
        SET @Pos = @Next + 1;
    END;
    RETURN;
END;

-- @object User Defined Function | fn_CreditAvailable | 2012-07-16 10:20:44
CREATE FUNCTION dbo.fn_CreditAvailable (@CustomerId int)
RETURNS decimal(19, 4)
AS
BEGIN
    RETURN (SELECT CreditLimit - Balance FROM dbo.vw_CustomerBalance WHERE CustomerId = @CustomerId);
END;

-- @object User Defined Function | fn_ToGbp | 2014-01-20 09:10:02
CREATE FUNCTION dbo.fn_ToGbp (@Amount decimal(19, 4), @Currency char(3), @OnDate date)
RETURNS decimal(19, 4)
AS
BEGIN
    IF @Currency = 'GBP' RETURN @Amount;
    RETURN (SELECT TOP (1) @Amount / RateToGbp FROM dbo.ExchangeRate
             WHERE Currency = @Currency AND RateDate <= @OnDate ORDER BY RateDate DESC);
END;

-- @object User Defined Function | fn_OrderStatusText | 2008-05-20 14:10:18
CREATE FUNCTION dbo.fn_OrderStatusText (@Status varchar(10))
RETURNS nvarchar(30)
AS
BEGIN
    RETURN CASE @Status WHEN 'NEW' THEN N'Received'
                        WHEN 'PICKING' THEN N'Being picked'
                        WHEN 'SHIPPED' THEN N'On its way'
                        WHEN 'INVOICED' THEN N'Complete'
                        WHEN 'CANCELLED' THEN N'Cancelled'
                        ELSE N'Unknown' END;
END;

-- @object User Defined Function | fn_StockHistory | 2015-06-02 13:33:07
CREATE FUNCTION dbo.fn_StockHistory (@ProductId int, @Days int)
RETURNS TABLE
AS
RETURN
    SELECT CONVERT(date, MovedAt) AS MovedOn, Reason, SUM(Quantity) AS Quantity
      FROM dbo.StockMovement
     WHERE ProductId = @ProductId AND MovedAt >= DATEADD(day, -@Days, SYSUTCDATETIME())
     GROUP BY CONVERT(date, MovedAt), Reason;

-- @object User Defined Function | fn_PromotionDiscount | 2012-04-17 09:10:51
CREATE FUNCTION dbo.fn_PromotionDiscount (@Code varchar(16), @OnDate date)
RETURNS decimal(5, 2)
AS
BEGIN
    RETURN ISNULL((SELECT DiscountPct FROM dbo.Promotion
                    WHERE Code = @Code AND @OnDate BETWEEN StartsOn AND EndsOn), 0);
END;

-- @object User Defined Function | fn_NextOrderNumber | 2006-04-10 11:05:00
CREATE FUNCTION dbo.fn_NextOrderNumber ()
RETURNS int
AS
BEGIN
    RETURN ISNULL((SELECT MAX(OrderId) FROM dbo.SalesOrder WITH (UPDLOCK)), 500000) + 1;
END;
