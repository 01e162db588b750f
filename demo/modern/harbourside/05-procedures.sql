-- Harbourside: stored procedures.

-- @object Stored Procedure | usp_PlaceOrder | 2006-04-12 14:20:33
CREATE PROCEDURE dbo.usp_PlaceOrder
    @CustomerId  int,
    @WarehouseId tinyint,
    @Lines       dbo.OrderLineList READONLY,
    @CustomerRef nvarchar(30) = NULL,
    @OrderId     int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF EXISTS (SELECT 1 FROM dbo.Customer WHERE CustomerId = @CustomerId AND IsOnHold = 1)
    BEGIN
        RAISERROR(N'Customer %d is on hold; orders cannot be placed.', 16, 1, @CustomerId);
        RETURN 1;
    END;
    BEGIN TRANSACTION;
        SET @OrderId = dbo.fn_NextOrderNumber();
        INSERT INTO dbo.SalesOrder (OrderId, CustomerId, OrderedAt, Status, WarehouseId, CustomerRef)
        VALUES (@OrderId, @CustomerId, SYSUTCDATETIME(), 'NEW', @WarehouseId, @CustomerRef);
        INSERT INTO dbo.SalesOrderLine (OrderId, LineNo, ProductId, Quantity, UnitPrice)
        SELECT @OrderId, ROW_NUMBER() OVER (ORDER BY l.Sku), p.ProductId, l.Quantity,
               ISNULL(l.UnitPrice, dbo.fn_PriceFor(@CustomerId, p.ProductId, GETDATE()))
          FROM @Lines AS l
          JOIN dbo.Product AS p ON p.Sku = l.Sku;
        UPDATE s SET Allocated = s.Allocated + l.Quantity
          FROM dbo.Stock AS s
          JOIN dbo.Product AS p ON p.ProductId = s.ProductId
          JOIN @Lines AS l ON l.Sku = p.Sku
         WHERE s.WarehouseId = @WarehouseId;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_CancelOrder | 2006-04-12 14:31:09
CREATE PROCEDURE dbo.usp_CancelOrder
    @OrderId int,
    @Reason  nvarchar(200)
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE s SET Allocated = s.Allocated - l.Quantity
          FROM dbo.Stock AS s
          JOIN dbo.SalesOrderLine AS l ON l.ProductId = s.ProductId
          JOIN dbo.SalesOrder     AS o ON o.OrderId = l.OrderId AND o.WarehouseId = s.WarehouseId
         WHERE o.OrderId = @OrderId AND o.Status IN ('NEW', 'PICKING');
        UPDATE dbo.SalesOrder
           SET Status = 'CANCELLED', Notes = CONCAT(Notes, N' Cancelled: ', @Reason)
         WHERE OrderId = @OrderId AND Status IN ('NEW', 'PICKING');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Order %d cannot be cancelled in its present state.', 16, 1, @OrderId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
END;

-- @object Stored Procedure | usp_StartPicking | 2006-04-12 14:40:51
CREATE PROCEDURE dbo.usp_StartPicking
    @OrderId int
AS
BEGIN
    SET NOCOUNT ON;
    UPDATE dbo.SalesOrder SET Status = 'PICKING' WHERE OrderId = @OrderId AND Status = 'NEW';
    SELECT l.LineNo, p.Sku, p.Name, l.Quantity
      FROM dbo.SalesOrderLine AS l
      JOIN dbo.Product AS p ON p.ProductId = l.ProductId
     WHERE l.OrderId = @OrderId
     ORDER BY p.Sku;
END;

-- @object Stored Procedure | usp_ShipOrder | 2007-06-11 11:15:27
CREATE PROCEDURE dbo.usp_ShipOrder
    @OrderId     int,
    @CarrierCode varchar(8),
    @TrackingNo  varchar(40) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.Shipment (OrderId, CarrierCode, TrackingNo, ShippedAt)
            VALUES (@OrderId, @CarrierCode, @TrackingNo, SYSUTCDATETIME());
            UPDATE s SET OnHand = s.OnHand - l.Quantity, Allocated = s.Allocated - l.Quantity
              FROM dbo.Stock AS s
              JOIN dbo.SalesOrderLine AS l ON l.ProductId = s.ProductId
              JOIN dbo.SalesOrder     AS o ON o.OrderId = l.OrderId AND o.WarehouseId = s.WarehouseId
             WHERE o.OrderId = @OrderId;
            INSERT INTO dbo.StockMovement (WarehouseId, ProductId, Quantity, Reason)
            SELECT o.WarehouseId, l.ProductId, -l.Quantity, 'PICK'
              FROM dbo.SalesOrderLine AS l JOIN dbo.SalesOrder AS o ON o.OrderId = l.OrderId
             WHERE o.OrderId = @OrderId;
            UPDATE dbo.SalesOrder SET Status = 'SHIPPED' WHERE OrderId = @OrderId;
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object Stored Procedure | usp_RaiseInvoice | 2006-04-20 09:12:00
CREATE PROCEDURE dbo.usp_RaiseInvoice
    @OrderId   int,
    @InvoiceId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    DECLARE @Net decimal(19, 4) = dbo.fn_OrderNet(@OrderId);
    DECLARE @Today date = CONVERT(date, GETDATE());
    BEGIN TRANSACTION;
        INSERT INTO dbo.Invoice (OrderId, IssuedOn, DueOn, NetAmount, TaxAmount)
        VALUES (@OrderId, @Today, DATEADD(day, 30, @Today), @Net, dbo.fn_VatAmount(@Net, @Today));
        SET @InvoiceId = SCOPE_IDENTITY();
        UPDATE dbo.SalesOrder SET Status = 'INVOICED' WHERE OrderId = @OrderId;
    COMMIT TRANSACTION;
END;

-- @object Stored Procedure | usp_RecordPayment | 2006-04-20 09:30:45
CREATE PROCEDURE dbo.usp_RecordPayment
    @InvoiceId int,
    @Amount    decimal(19, 4),
    @Method    varchar(10),
    @Reference nvarchar(40) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        INSERT INTO dbo.Payment (InvoiceId, ReceivedOn, Amount, Method, Reference)
        VALUES (@InvoiceId, CONVERT(date, GETDATE()), @Amount, @Method, @Reference);
        UPDATE dbo.Invoice SET PaidAmount = PaidAmount + @Amount WHERE InvoiceId = @InvoiceId;
    COMMIT TRANSACTION;
END;

-- @object Stored Procedure | usp_ReceiveStock | 2007-02-01 16:20:14
CREATE PROCEDURE dbo.usp_ReceiveStock
    @WarehouseId tinyint,
    @Sku         varchar(20),
    @Quantity    int
AS
BEGIN
    SET NOCOUNT ON;
    DECLARE @ProductId int = (SELECT ProductId FROM dbo.Product WHERE Sku = @Sku);
    IF @ProductId IS NULL
        THROW 50010, N'Unknown SKU.', 1;
    MERGE dbo.Stock AS s
    USING (SELECT @WarehouseId AS WarehouseId, @ProductId AS ProductId) AS src
       ON s.WarehouseId = src.WarehouseId AND s.ProductId = src.ProductId
    WHEN MATCHED THEN UPDATE SET OnHand = s.OnHand + @Quantity
    WHEN NOT MATCHED THEN INSERT (WarehouseId, ProductId, OnHand) VALUES (@WarehouseId, @ProductId, @Quantity);
    INSERT INTO dbo.StockMovement (WarehouseId, ProductId, Quantity, Reason)
    VALUES (@WarehouseId, @ProductId, @Quantity, 'RECEIPT');
END;

-- @object Stored Procedure | usp_TransferStock | 2008-09-15 10:05:37
CREATE PROCEDURE dbo.usp_TransferStock
    @FromWarehouse tinyint,
    @ToWarehouse   tinyint,
    @ProductId     int,
    @Quantity      int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Stock SET OnHand = OnHand - @Quantity
         WHERE WarehouseId = @FromWarehouse AND ProductId = @ProductId AND OnHand - Allocated >= @Quantity;
        IF @@ROWCOUNT = 0
            THROW 50011, N'Not enough free stock to transfer.', 1;
        UPDATE dbo.Stock SET OnHand = OnHand + @Quantity
         WHERE WarehouseId = @ToWarehouse AND ProductId = @ProductId;
        INSERT INTO dbo.StockMovement (WarehouseId, ProductId, Quantity, Reason)
        VALUES (@FromWarehouse, @ProductId, -@Quantity, 'TRANSFER'),
               (@ToWarehouse, @ProductId, @Quantity, 'TRANSFER');
    COMMIT TRANSACTION;
END;

-- @object Stored Procedure | usp_AdjustStock | 2008-09-15 10:09:02
CREATE PROCEDURE dbo.usp_AdjustStock
    @WarehouseId tinyint,
    @ProductId   int,
    @Counted     int
AS
BEGIN
    SET NOCOUNT ON;
    DECLARE @Difference int;
    UPDATE dbo.Stock SET @Difference = @Counted - OnHand, OnHand = @Counted
     WHERE WarehouseId = @WarehouseId AND ProductId = @ProductId;
    IF @Difference <> 0
        INSERT INTO dbo.StockMovement (WarehouseId, ProductId, Quantity, Reason)
        VALUES (@WarehouseId, @ProductId, @Difference, 'ADJUST');
END;

-- @object Stored Procedure | usp_CustomerStatement | 2008-11-18 16:45:20
CREATE PROCEDURE dbo.usp_CustomerStatement
    @CustomerId int,
    @From       date,
    @To         date
AS
BEGIN
    SET NOCOUNT ON;
    SELECT 'Invoice' AS Kind, i.IssuedOn AS OnDate, i.InvoiceId AS Reference,
           i.NetAmount + i.TaxAmount AS Amount
      FROM dbo.Invoice AS i
      JOIN dbo.SalesOrder AS o ON o.OrderId = i.OrderId
     WHERE o.CustomerId = @CustomerId AND i.IssuedOn BETWEEN @From AND @To
    UNION ALL
    SELECT 'Payment', p.ReceivedOn, p.InvoiceId, -p.Amount
      FROM dbo.Payment AS p
      JOIN dbo.Invoice AS i ON i.InvoiceId = p.InvoiceId
      JOIN dbo.SalesOrder AS o ON o.OrderId = i.OrderId
     WHERE o.CustomerId = @CustomerId AND p.ReceivedOn BETWEEN @From AND @To
     ORDER BY OnDate, Kind;
END;

-- @object Stored Procedure | usp_AddCustomer | 2006-04-05 10:00:00
CREATE PROCEDURE dbo.usp_AddCustomer
    @Code     char(8),
    @Name     nvarchar(100),
    @RegionId tinyint,
    @Phone    varchar(24) = NULL,
    @Email    nvarchar(254) = NULL,
    @CustomerId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    INSERT INTO dbo.Customer (Code, Name, RegionId, Phone, Email)
    VALUES (UPPER(@Code), @Name, @RegionId, @Phone, @Email);
    SET @CustomerId = SCOPE_IDENTITY();
END;

-- @object Stored Procedure | usp_UpdateCustomer | 2006-04-05 10:04:31
CREATE PROCEDURE dbo.usp_UpdateCustomer
    @CustomerId int,
    @Name       nvarchar(100),
    @Phone      varchar(24),
    @Email      nvarchar(254)
AS
BEGIN
    SET NOCOUNT ON;
    UPDATE dbo.Customer SET Name = @Name, Phone = @Phone, Email = @Email
     WHERE CustomerId = @CustomerId;
END;

-- @object Stored Procedure | usp_SetCreditLimit | 2009-03-02 12:12:12
CREATE PROCEDURE dbo.usp_SetCreditLimit
    @CustomerId int,
    @Limit      decimal(19, 4)
AS
BEGIN
    SET NOCOUNT ON;
    IF @Limit < 0
        THROW 50020, N'A credit limit cannot be negative.', 1;
    UPDATE dbo.Customer SET CreditLimit = @Limit WHERE CustomerId = @CustomerId;
END;

-- @object Stored Procedure | usp_PutOnHold | 2009-03-02 12:20:45
CREATE PROCEDURE dbo.usp_PutOnHold
    @DaysOverdue int = 60
AS
BEGIN
    SET NOCOUNT ON;
    UPDATE c SET IsOnHold = 1
      FROM dbo.Customer AS c
     WHERE EXISTS (SELECT 1 FROM dbo.vw_OverdueInvoices AS v
                    WHERE v.CustomerCode = c.Code AND v.DaysOverdue > @DaysOverdue);
    SELECT @@ROWCOUNT AS CustomersPutOnHold;
END;

-- @object Stored Procedure | usp_FindCustomer | 2010-10-11 15:50:03
CREATE PROCEDURE dbo.usp_FindCustomer
    @Search nvarchar(100)
AS
BEGIN
    SET NOCOUNT ON;
    SELECT TOP (50) CustomerId, Code, Name, Region
      FROM dbo.vw_CustomerList
     WHERE Name LIKE N'%' + @Search + N'%' OR Code = @Search
     ORDER BY Name;
END;

-- @object Stored Procedure | usp_ReorderReport | 2007-02-05 08:15:00
CREATE PROCEDURE dbo.usp_ReorderReport
AS
BEGIN
    SET NOCOUNT ON;
    SELECT Supplier, Warehouse, Sku, Product, Available, ReorderLevel,
           DATEADD(day, LeadDays, CONVERT(date, GETDATE())) AS EarliestArrival
      FROM dbo.vw_ReorderList
     ORDER BY Supplier, Warehouse, Sku;
END;

-- @object Stored Procedure | usp_MonthEndSales | 2009-01-12 10:01:44
CREATE PROCEDURE dbo.usp_MonthEndSales
    @Month date
AS
BEGIN
    SET NOCOUNT ON;
    DECLARE @First date = DATEFROMPARTS(YEAR(@Month), MONTH(@Month), 1);
    SELECT Region, NetAmount, Orders
      FROM dbo.vw_MonthlySales
     WHERE SalesMonth = @First
     ORDER BY NetAmount DESC;
END;

-- @object Stored Procedure | usp_RaiseReturn | 2010-02-08 12:10:19
CREATE PROCEDURE dbo.usp_RaiseReturn
    @OrderId  int,
    @LineNo   smallint,
    @Quantity int,
    @Reason   nvarchar(200),
    @Restock  bit = 1
AS
BEGIN
    SET NOCOUNT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.SalesOrderLine
                    WHERE OrderId = @OrderId AND LineNo = @LineNo AND Quantity >= @Quantity)
        THROW 50030, N'The return is larger than the order line.', 1;
    INSERT INTO dbo.ReturnAuthorisation (OrderId, LineNo, Quantity, Reason, RaisedOn, Restock)
    VALUES (@OrderId, @LineNo, @Quantity, @Reason, CONVERT(date, GETDATE()), @Restock);
    SELECT SCOPE_IDENTITY() AS RmaId;
END;

-- @object Stored Procedure | usp_ReceiveReturn | 2010-02-08 12:25:52
CREATE PROCEDURE dbo.usp_ReceiveReturn
    @RmaId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        INSERT INTO dbo.StockMovement (WarehouseId, ProductId, Quantity, Reason)
        SELECT o.WarehouseId, l.ProductId, r.Quantity, 'RETURN'
          FROM dbo.ReturnAuthorisation AS r
          JOIN dbo.SalesOrderLine AS l ON l.OrderId = r.OrderId AND l.LineNo = r.LineNo
          JOIN dbo.SalesOrder     AS o ON o.OrderId = r.OrderId
         WHERE r.RmaId = @RmaId AND r.Restock = 1;
        UPDATE s SET OnHand = s.OnHand + r.Quantity
          FROM dbo.Stock AS s
          JOIN dbo.SalesOrderLine AS l ON l.ProductId = s.ProductId
          JOIN dbo.ReturnAuthorisation AS r ON r.OrderId = l.OrderId AND r.LineNo = l.LineNo
          JOIN dbo.SalesOrder AS o ON o.OrderId = r.OrderId AND o.WarehouseId = s.WarehouseId
         WHERE r.RmaId = @RmaId AND r.Restock = 1;
    COMMIT TRANSACTION;
END;

-- @object Stored Procedure | usp_ApplyPromotion | 2012-04-17 09:20:10
CREATE PROCEDURE dbo.usp_ApplyPromotion
    @OrderId int,
    @Code    varchar(16)
AS
BEGIN
    SET NOCOUNT ON;
    DECLARE @Pct decimal(5, 2) = dbo.fn_PromotionDiscount(@Code, CONVERT(date, GETDATE()));
    IF @Pct = 0
        THROW 50040, N'That promotion code is not valid today.', 1;
    UPDATE dbo.SalesOrderLine SET DiscountPct = @Pct
     WHERE OrderId = @OrderId AND DiscountPct < @Pct;
END;

-- @object Stored Procedure | usp_ImportPriceList | 2016-03-09 08:02:41
CREATE PROCEDURE dbo.usp_ImportPriceList
    @PriceListId smallint,
    @FileName    nvarchar(260)
AS
BEGIN
    SET NOCOUNT ON;
    DECLARE @BatchId int;
    INSERT INTO dbo.ImportBatch (FileName, StartedAt) VALUES (@FileName, SYSUTCDATETIME());
    SET @BatchId = SCOPE_IDENTITY();
    CREATE TABLE #Incoming (Sku varchar(20), Price decimal(19, 4));
    DECLARE @Sql nvarchar(max) = N'BULK INSERT #Incoming FROM ' + QUOTENAME(@FileName, '''')
        + N' WITH (FIELDTERMINATOR = '','', FIRSTROW = 2)';
    EXEC sys.sp_executesql @Sql;
    MERGE dbo.PriceListItem AS t
    USING (SELECT p.ProductId, i.Price FROM #Incoming AS i JOIN dbo.Product AS p ON p.Sku = i.Sku) AS s
       ON t.PriceListId = @PriceListId AND t.ProductId = s.ProductId
    WHEN MATCHED THEN UPDATE SET Price = s.Price
    WHEN NOT MATCHED THEN INSERT (PriceListId, ProductId, Price) VALUES (@PriceListId, s.ProductId, s.Price);
    UPDATE dbo.ImportBatch
       SET FinishedAt = SYSUTCDATETIME(),
           RowsRead = (SELECT COUNT(*) FROM #Incoming),
           RowsRejected = (SELECT COUNT(*) FROM #Incoming AS i WHERE NOT EXISTS (SELECT 1 FROM dbo.Product AS p WHERE p.Sku = i.Sku))
     WHERE BatchId = @BatchId;
END;

-- @object Stored Procedure | usp_LoadExchangeRates | 2014-01-20 09:20:33
CREATE PROCEDURE dbo.usp_LoadExchangeRates
    @Rates nvarchar(max)
AS
BEGIN
    SET NOCOUNT ON;
    INSERT INTO dbo.ExchangeRate (Currency, RateDate, RateToGbp)
    SELECT j.Currency, j.RateDate, j.Rate
      FROM OPENJSON(@Rates) WITH (Currency char(3), RateDate date, Rate decimal(18, 8)) AS j
     WHERE NOT EXISTS (SELECT 1 FROM dbo.ExchangeRate AS e
                        WHERE e.Currency = j.Currency AND e.RateDate = j.RateDate);
END;

-- @object Stored Procedure | usp_SaveBasket | 2018-06-05 15:01:12
CREATE PROCEDURE dbo.usp_SaveBasket
    @BasketId   uniqueidentifier,
    @CustomerId int = NULL,
    @Lines      nvarchar(max)
AS
BEGIN
    SET NOCOUNT ON;
    UPDATE dbo.WebBasket SET Lines = @Lines, CustomerId = ISNULL(@CustomerId, CustomerId), TouchedAt = SYSUTCDATETIME()
     WHERE BasketId = @BasketId;
    IF @@ROWCOUNT = 0
        INSERT INTO dbo.WebBasket (BasketId, CustomerId, Lines, TouchedAt)
        VALUES (@BasketId, @CustomerId, @Lines, SYSUTCDATETIME());
END;

-- @object Stored Procedure | usp_BasketToOrder | 2018-06-05 15:20:48
CREATE PROCEDURE dbo.usp_BasketToOrder
    @BasketId    uniqueidentifier,
    @WarehouseId tinyint,
    @OrderId     int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    DECLARE @CustomerId int;
    DECLARE @Lines dbo.OrderLineList;
    SELECT @CustomerId = CustomerId FROM dbo.WebBasket WHERE BasketId = @BasketId;
    IF @CustomerId IS NULL
        THROW 50050, N'Only a signed-in customer''s basket becomes an order.', 1;
    INSERT INTO @Lines (Sku, Quantity)
    SELECT Sku, SUM(Quantity) FROM dbo.vw_WebBasketLines WHERE BasketId = @BasketId GROUP BY Sku;
    EXEC dbo.usp_PlaceOrder @CustomerId = @CustomerId, @WarehouseId = @WarehouseId,
         @Lines = @Lines, @OrderId = @OrderId OUTPUT;
    DELETE dbo.WebBasket WHERE BasketId = @BasketId;
END;

-- @object Stored Procedure | usp_PurgeOldBaskets | 2018-06-05 15:30:00
CREATE PROCEDURE dbo.usp_PurgeOldBaskets
    @KeepDays int = 30
AS
BEGIN
    SET NOCOUNT ON;
    DELETE TOP (5000) FROM dbo.WebBasket WHERE TouchedAt < DATEADD(day, -@KeepDays, SYSUTCDATETIME());
    WHILE @@ROWCOUNT = 5000
        DELETE TOP (5000) FROM dbo.WebBasket WHERE TouchedAt < DATEADD(day, -@KeepDays, SYSUTCDATETIME());
END;

-- @object Stored Procedure | usp_OrderDetail | 2006-04-12 15:00:03
CREATE PROCEDURE dbo.usp_OrderDetail
    @OrderId int
AS
BEGIN
    SET NOCOUNT ON;
    SELECT o.OrderId, o.OrderedAt, dbo.fn_OrderStatusText(o.Status) AS Status, c.Name AS Customer
      FROM dbo.SalesOrder AS o JOIN dbo.Customer AS c ON c.CustomerId = o.CustomerId
     WHERE o.OrderId = @OrderId;
    SELECT l.LineNo, p.Sku, p.Name, l.Quantity, l.UnitPrice, l.DiscountPct
      FROM dbo.SalesOrderLine AS l JOIN dbo.Product AS p ON p.ProductId = l.ProductId
     WHERE l.OrderId = @OrderId
     ORDER BY l.LineNo;
END;

-- @object Stored Procedure | usp_DiscontinueProduct | 2011-05-09 11:30:27
CREATE PROCEDURE dbo.usp_DiscontinueProduct
    @Sku varchar(20)
AS
BEGIN
    SET NOCOUNT ON;
    UPDATE dbo.Product SET IsDiscontinued = 1 WHERE Sku = @Sku;
    DELETE pli FROM dbo.PriceListItem AS pli JOIN dbo.Product AS p ON p.ProductId = pli.ProductId
     WHERE p.Sku = @Sku;
END;

-- @object Stored Procedure | usp_ArchiveOrders | 2013-01-07 06:00:00
CREATE PROCEDURE dbo.usp_ArchiveOrders
    @Before date
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    -- Invoiced orders older than the cut-off move to the archive database.
    BEGIN TRANSACTION;
        INSERT INTO HarbourArchive.dbo.SalesOrder SELECT * FROM dbo.SalesOrder
         WHERE Status = 'INVOICED' AND OrderedAt < @Before;
        INSERT INTO HarbourArchive.dbo.SalesOrderLine SELECT l.* FROM dbo.SalesOrderLine AS l
          JOIN dbo.SalesOrder AS o ON o.OrderId = l.OrderId
         WHERE o.Status = 'INVOICED' AND o.OrderedAt < @Before;
        DELETE FROM dbo.SalesOrder WHERE Status = 'INVOICED' AND OrderedAt < @Before;
    COMMIT TRANSACTION;
END;

-- @object Stored Procedure | usp_CarrierPerformance | 2011-03-29 13:30:40
CREATE PROCEDURE dbo.usp_CarrierPerformance
    @From date,
    @To   date
AS
BEGIN
    SET NOCOUNT ON;
    SELECT ca.Name, COUNT(*) AS Shipments,
           AVG(DATEDIFF(hour, s.ShippedAt, s.DeliveredAt)) AS AvgHoursInTransit,
           SUM(CASE WHEN s.DeliveredAt IS NULL THEN 1 ELSE 0 END) AS NotYetDelivered
      FROM dbo.Shipment AS s
      JOIN dbo.Carrier  AS ca ON ca.CarrierCode = s.CarrierCode
     WHERE s.ShippedAt >= @From AND s.ShippedAt < DATEADD(day, 1, @To)
     GROUP BY ca.Name
     ORDER BY AvgHoursInTransit;
END;

-- @object Stored Procedure | usp_MarkDelivered | 2007-06-11 11:40:00
CREATE PROCEDURE dbo.usp_MarkDelivered
    @TrackingNo varchar(40),
    @DeliveredAt datetime2(0)
AS
BEGIN
    SET NOCOUNT ON;
    UPDATE dbo.Shipment SET DeliveredAt = @DeliveredAt
     WHERE TrackingNo = @TrackingNo AND DeliveredAt IS NULL;
END;

-- @object Stored Procedure | usp_ChaseOverdue | 2008-11-18 17:05:12
CREATE PROCEDURE dbo.usp_ChaseOverdue
AS
BEGIN
    SET NOCOUNT ON;
    DECLARE @Body nvarchar(max);
    DECLARE chase CURSOR LOCAL FAST_FORWARD FOR
        SELECT c.Email, CONCAT(N'Invoice ', v.InvoiceId, N' is ', v.DaysOverdue, N' days overdue: ', v.Outstanding)
          FROM dbo.vw_OverdueInvoices AS v JOIN dbo.Customer AS c ON c.Code = v.CustomerCode
         WHERE c.Email IS NOT NULL;
    DECLARE @Email nvarchar(254);
    OPEN chase;
    FETCH NEXT FROM chase INTO @Email, @Body;
    WHILE @@FETCH_STATUS = 0
    BEGIN
        EXEC msdb.dbo.sp_send_dbmail @profile_name = 'Accounts', @recipients = @Email,
             @subject = N'Harbourside Supply: overdue invoice', @body = @Body;
        FETCH NEXT FROM chase INTO @Email, @Body;
    END;
    CLOSE chase;
    DEALLOCATE chase;
END;

-- @object Stored Procedure | usp_PricingSecret | 2016-11-30 18:44:02 | no script
-- (created WITH ENCRYPTION: the server gives no text for it)
